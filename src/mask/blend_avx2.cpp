// The overlay blend's easy blocks eight pixels at a time: a block whose
// pixels are all opaque is copied (alpha dropped), one all transparent is
// skipped; the blend formula gives the same bytes for both.
#include <immintrin.h>

#include "mask/mask_rendering.h"

#define QX_AVX2 __attribute__((target("avx2")))

namespace quexal::detail {
namespace {

constexpr int32_t kBlock = 8;
constexpr uint32_t kAlphaBytes = 0x88888888u;  // movemask bits of the eight alpha bytes

// The alpha bytes of the eight pixels that equal `value`'s, as movemask bits.
QX_AVX2 inline uint32_t alphasEqual(__m256i pixels, __m256i value) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(pixels, value))) &
           kAlphaBytes;
}

}  // namespace

QX_AVX2 int32_t copyOrSkipBlocksAvx2(const uint8_t* source, uint8_t* frame, int32_t count) {
    // Within each 128-bit lane, four BGRA pixels become twelve BGR bytes;
    // the two lanes' twelve then close up to 24 contiguous bytes.
    const __m256i dropAlpha =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                         8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i closeUp = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    const __m256i opaque = _mm256_set1_epi8(static_cast<char>(0xFF));
    const __m256i clear = _mm256_setzero_si256();
    int32_t done = 0;
    for (; done + kBlock <= count; done += kBlock, source += 4 * kBlock, frame += 3 * kBlock) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
        if (alphasEqual(pixels, clear) == kAlphaBytes) continue;
        if (alphasEqual(pixels, opaque) != kAlphaBytes) break;
        const __m256i bgr =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, dropAlpha), closeUp);
        // Exactly 24 bytes: the block's own pixels and nothing after them.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(frame), _mm256_castsi256_si128(bgr));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(frame + 16), _mm256_extracti128_si256(bgr, 1));
    }
    return done;
}

}  // namespace quexal::detail
