# Installs the Debian packages the build needs, when they are missing.
# Sourced by the other scripts.
suite_packages="cmake ninja-build g++ libgtest-dev gfortran liblapack-dev libopenblas-dev"
suite_missing=""
for p in $suite_packages; do
  dpkg -s "$p" >/dev/null 2>&1 || suite_missing="$suite_missing $p"
done
if [ -n "$suite_missing" ]; then
  echo "installing:$suite_missing"
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $suite_missing
fi
