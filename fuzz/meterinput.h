#pragma once

#include <cstddef>
#include <cstdint>

// Runs arbitrary bytes through both assembly paths, the decoder and the limit
// rules. Shared by the fuzz target and the regression test that replays the
// inputs the fuzzer once found.
void feedMeterInput(const std::uint8_t *data, std::size_t size);
