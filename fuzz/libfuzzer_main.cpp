// The libFuzzer entry of one target; MORVANE_FUZZ_ENTRY names the function.

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return MORVANE_FUZZ_ENTRY(data, size);
}
