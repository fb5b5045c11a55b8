#!/usr/bin/env bash
# Builds the programs and runs a shipped example in a fresh copy of its
# folder: tools/example.sh h2 (the default).  The copy is examples/<name>/run.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
name=${1:-h2}
[ -d "examples/$name" ] || { echo "no example '$name' in examples/"; exit 2; }

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" --target tovrel xsect xsect_a gsfile chanfile diatom

run="examples/$name/run"
rm -rf "$run"
mkdir -p "$run"
find "examples/$name" -maxdepth 1 -type f -exec cp {} "$run/" \;
cd "$run"
if [ -x ./run.sh ]; then
  ./run.sh "$(cd ../../.. && pwd)/build/release"
elif [ ! -f Dp_Data.dsc ] && [ -f diatom.mol ]; then
  # A molecule described for the front end only: diatom runs the chain.
  "$OLDPWD/build/release/diatom" diatom.mol diatom-run
  cat diatom-run/diatom.lst
else
  "$OLDPWD/build/release/tovrel"
  for f in *.lst; do echo "== $f"; cat "$f"; done
fi
