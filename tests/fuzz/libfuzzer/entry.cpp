// libFuzzer entry of one target; FUZZ_TARGET names the function of
// tests/fuzz/targets.hpp (set by the build for each fuzz program).
#include "targets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FUZZ_TARGET(data, size); }
