// AVX2 screen blend, bit for bit the portable one: with x = 255 - a and
// y = 255 - o, (x * y) >> 8 is the high half of (x << 8) * y, one unsigned
// 16-bit high multiply, so a block of 32 bytes takes no shifts at all.
#include "effects/colour/colour_tones_avx2.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define QX_AVX2 __attribute__((target("avx2")))

namespace quexal::detail {

constexpr std::size_t kScreenBlock = 32;

QX_AVX2 std::size_t screenBlendAvx2(uint8_t* pixels, const uint8_t* other, std::size_t bytes) {
    const __m256i ones = _mm256_set1_epi8(-1), zero = _mm256_setzero_si256();
    const std::size_t blocks = bytes / kScreenBlock;
    for (std::size_t i = 0; i < blocks; ++i) {
        uint8_t* p = pixels + i * kScreenBlock;
        const __m256i x =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), ones);
        const __m256i y = _mm256_xor_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(other + i * kScreenBlock)), ones);
        const __m256i lo =
            _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, x), _mm256_unpacklo_epi8(y, zero));
        const __m256i hi =
            _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, x), _mm256_unpackhi_epi8(y, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                            _mm256_xor_si256(_mm256_packus_epi16(lo, hi), ones));
    }
    return blocks * kScreenBlock;
}

}  // namespace quexal::detail

#else  // not x86

namespace quexal::detail {

std::size_t screenBlendAvx2(uint8_t*, const uint8_t*, std::size_t) {
    return 0;
}

}  // namespace quexal::detail

#endif
