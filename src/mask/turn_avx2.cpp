// The turn eight pixels at a time: the four neighbours of each pixel are
// gathered from the picture, the (left, right) channel pairs multiplied by
// the pixel's weight pairs, exactly as the portable code sums them.
#include <immintrin.h>

#include "mask/turn.h"

#define QX_AVX2 __attribute__((target("avx2")))

namespace quexal::detail {
namespace {

constexpr int kCoordBits = 10;
constexpr int kSubpixelBits = 5;
constexpr int kSubpixels = 1 << kSubpixelBits;
constexpr int kProductBits = 2 * kSubpixelBits;
constexpr int kBlock = 8;

// Each pixel's 32-bit weight pair repeated over its four channels, for the
// pixels of the low (first) and high (second) halves of each 128-bit lane.
QX_AVX2 inline void spread(__m256i pairs, __m256i& p0, __m256i& p1, __m256i& p2, __m256i& p3) {
    const __m256i lowPixels = _mm256_unpacklo_epi32(pairs, pairs);   // 0 0 1 1 | 4 4 5 5
    const __m256i highPixels = _mm256_unpackhi_epi32(pairs, pairs);  // 2 2 3 3 | 6 6 7 7
    p0 = _mm256_unpacklo_epi64(lowPixels, lowPixels);
    p1 = _mm256_unpackhi_epi64(lowPixels, lowPixels);
    p2 = _mm256_unpacklo_epi64(highPixels, highPixels);
    p3 = _mm256_unpackhi_epi64(highPixels, highPixels);
}

// Top and bottom (left, right) pairs times their weight pairs, rounded.
QX_AVX2 inline __m256i weigh(__m256i top, __m256i topWeights, __m256i bottom,
                             __m256i bottomWeights) {
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(top, topWeights),
                                         _mm256_madd_epi16(bottom, bottomWeights));
    return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(1 << (kProductBits - 1))),
                             kProductBits);
}

}  // namespace

QX_AVX2 int32_t turnBlocksAvx2(const TurnRow& r, int32_t x, int32_t last, uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i fraction = _mm256_set1_epi32(kSubpixels - 1);
    const __m256i full = _mm256_set1_epi32(kSubpixels);
    const __m256i lastColumn = _mm256_set1_epi32(r.width - 1);
    const __m256i lastRow = _mm256_set1_epi32(r.height - 1);
    const __m256i before = _mm256_set1_epi32(-1);
    const __m256i stride = _mm256_set1_epi32(static_cast<int32_t>(r.stride));
    const auto* base = reinterpret_cast<const int*>(r.picture);
    const auto* below = reinterpret_cast<const int*>(r.picture + r.stride);
    const auto* baseRight = reinterpret_cast<const int*>(r.picture + 4);
    const auto* belowRight = reinterpret_cast<const int*>(r.picture + r.stride + 4);

    for (; x + kBlock <= last; x += kBlock) {
        const __m256i fx = _mm256_srai_epi32(
            _mm256_add_epi32(_mm256_set1_epi32(r.startX),
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.stepX + x))),
            kCoordBits - kSubpixelBits);
        const __m256i fy = _mm256_srai_epi32(
            _mm256_add_epi32(_mm256_set1_epi32(r.startY),
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.stepY + x))),
            kCoordBits - kSubpixelBits);
        const __m256i sx =
            _mm256_sub_epi32(_mm256_srai_epi32(fx, kSubpixelBits), _mm256_set1_epi32(r.atX));
        const __m256i sy =
            _mm256_sub_epi32(_mm256_srai_epi32(fy, kSubpixelBits), _mm256_set1_epi32(r.atY));
        // Every pixel's four neighbours on the picture, or stop here.
        const __m256i inside = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpgt_epi32(lastColumn, sx), _mm256_cmpgt_epi32(sx, before)),
            _mm256_and_si256(_mm256_cmpgt_epi32(lastRow, sy), _mm256_cmpgt_epi32(sy, before)));
        if (_mm256_movemask_epi8(inside) != -1) return x;

        const __m256i offset =
            _mm256_add_epi32(_mm256_mullo_epi32(sy, stride), _mm256_slli_epi32(sx, 2));
        const __m256i topLeft = _mm256_i32gather_epi32(base, offset, 1);
        const __m256i topRight = _mm256_i32gather_epi32(baseRight, offset, 1);
        const __m256i bottomLeft = _mm256_i32gather_epi32(below, offset, 1);
        const __m256i bottomRight = _mm256_i32gather_epi32(belowRight, offset, 1);

        const __m256i ax = _mm256_and_si256(fx, fraction), ay = _mm256_and_si256(fy, fraction);
        const __m256i rx = _mm256_sub_epi32(full, ax), ry = _mm256_sub_epi32(full, ay);
        const __m256i topPairs = _mm256_or_si256(_mm256_mullo_epi32(rx, ry),
                                                 _mm256_slli_epi32(_mm256_mullo_epi32(ax, ry), 16));
        const __m256i bottomPairs = _mm256_or_si256(
            _mm256_mullo_epi32(rx, ay), _mm256_slli_epi32(_mm256_mullo_epi32(ax, ay), 16));
        __m256i t0, t1, t2, t3, b0, b1, b2, b3;
        spread(topPairs, t0, t1, t2, t3);
        spread(bottomPairs, b0, b1, b2, b3);

        // (left, right) byte pairs: pixels 0, 1 | 4, 5 from the low
        // unpack, 2, 3 | 6, 7 from the high one.
        const __m256i topLow = _mm256_unpacklo_epi8(topLeft, topRight);
        const __m256i topHigh = _mm256_unpackhi_epi8(topLeft, topRight);
        const __m256i bottomLow = _mm256_unpacklo_epi8(bottomLeft, bottomRight);
        const __m256i bottomHigh = _mm256_unpackhi_epi8(bottomLeft, bottomRight);
        const __m256i p0 = weigh(_mm256_unpacklo_epi8(topLow, zero), t0,
                                 _mm256_unpacklo_epi8(bottomLow, zero), b0);
        const __m256i p1 = weigh(_mm256_unpackhi_epi8(topLow, zero), t1,
                                 _mm256_unpackhi_epi8(bottomLow, zero), b1);
        const __m256i p2 = weigh(_mm256_unpacklo_epi8(topHigh, zero), t2,
                                 _mm256_unpacklo_epi8(bottomHigh, zero), b2);
        const __m256i p3 = weigh(_mm256_unpackhi_epi8(topHigh, zero), t3,
                                 _mm256_unpackhi_epi8(bottomHigh, zero), b3);
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packs_epi32(p0, p1), _mm256_packs_epi32(p2, p3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<std::size_t>(x) * 4),
                            bytes);
    }
    return x;
}

}  // namespace quexal::detail
