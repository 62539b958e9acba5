// Vector rows of the grey, sepia and inverted-sepia tones for x86
// processors with AVX2 and FMA. Each row handles whole blocks of 16 pixels
// and leaves the rest of the run to the portable rows.
#pragma once

#include <cstdint>

namespace quexal::detail {

// True when the processor has AVX2 and FMA (always false off x86).
bool avx2Available();

// Applies the tone to the leading whole blocks of 16 pixels and answers the
// number of pixels done. Tones without a vector row answer 0.
int32_t applyColorToneAvx2(uint8_t* pixels, int32_t count, int32_t tone);

}  // namespace quexal::detail
