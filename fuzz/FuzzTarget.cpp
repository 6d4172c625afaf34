// One libFuzzer target: VT_FUZZ_ENTRY names the entry function it drives.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vt::fuzz::VT_FUZZ_ENTRY(data, size);
    return 0;
}
