// Moving frames between the host's buffer and the working images.
#pragma once

#include <cstdint>

namespace quexal {

// Copies `height` rows of `width * 3` bytes from src to dst in reverse row
// order. Does nothing for a width or height of 0 or less or a null source.
// src and dst must not overlap.
void flipRows(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height);

}  // namespace quexal
