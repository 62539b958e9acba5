// Vector rows of the grey, sepia, inverted-sepia and bright-part tones and
// of the screen blend for x86 processors with AVX2 and FMA. Each row handles
// whole blocks and leaves the rest of the run to the portable rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/cpu_features.h"

namespace quexal::detail {

// Applies the tone to the leading whole blocks of the run (16 pixels, or 8
// for the sepia tones, which also leave 4 bytes spare) and answers the
// number of pixels done. Tones without a vector row answer 0.
int32_t applyColorToneAvx2(uint8_t* pixels, int32_t count, int32_t tone);

// The same from `src` to `dst` (which must not overlap), for the sepia
// tones; other tones answer 0.
int32_t applyColorToneIntoAvx2(const uint8_t* src, uint8_t* dst, int32_t count, int32_t tone);

// Screens the leading whole blocks of 32 bytes (screenBlend) and answers
// the number of bytes done.
std::size_t screenBlendAvx2(uint8_t* pixels, const uint8_t* other, std::size_t bytes);

}  // namespace quexal::detail
