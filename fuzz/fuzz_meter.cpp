#include "fuzz/meterinput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    feedMeterInput(data, size);
    return 0;
}
