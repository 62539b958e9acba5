// Exactness helpers shared by the effects, so that each numeric rule lives
// in one place: reals are doubles, conversions to integers truncate toward
// zero, and a value said to be "held as a 32-bit float" is narrowed here.
#pragma once

#include <cmath>
#include <cstdint>

namespace quexal {

// Narrows a double to the 32-bit float it is held as.
inline float asFloat32(double v) {
    return static_cast<float>(v);
}

// Conversion of a real to an integer, truncating toward zero.
inline int32_t truncToInt(double v) {
    return static_cast<int32_t>(v);
}

// Rounds to the nearest integer, halves to even (the FPU's default mode).
inline int32_t roundHalfEven(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

// Limits to 0..255.
inline uint8_t clampByte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace quexal
