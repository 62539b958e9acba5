// AVX2 rows of the grey and sepia tones, bit for bit equal to the portable
// rows (the tests compare both on every one of the 2^24 colours).
//
// Why the sepia row is exact without doubles:
//  - Each luma weight times 2^27 is an integer W below 2^27. Split it as
//    W = Wh * 2^13 + Wl. For a pixel, H = sum(c * Wh) < 2^24 and
//    L = sum(c * Wl) < 2^23 are integers, so float arithmetic forms them
//    exactly, scaled by powers of two: Hs = H * 2^-14 and Ls = L * 2^-27.
//    The double sum of the portable row is exact and equals Hs + Ls, so its
//    rounding to float is the single correctly rounded float add Hs + Ls.
//  - The portable row then adds a fixed offset c in double and truncates;
//    after clamping that is floor(y + c), which is
//    floor(y) + floor(c) + (frac(y) >= 1 - frac(c)). For y >= 0 the
//    truncation of y is floor(y), and y - floor(y) is exact in float, so the
//    comparison is one float compare against the smallest float not below
//    1 - frac(c).
#include "effects/colour/colour_tones_avx2.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <array>
#include <cmath>

#include "effects/colour/colour_tones.h"

#define QX_AVX2 __attribute__((target("avx2,fma")))

namespace quexal::detail {
namespace {

constexpr int kBlock = 16;  // pixels a block: three 16-byte loads

// pshufb masks that gather plane `p` (0 blue, 1 green, 2 red) of 16 pixels
// from the 16-byte chunk `k` of their 48 bytes; 0x80 writes a zero.
constexpr std::array<uint8_t, 16> planeMask(int p, int k) {
    std::array<uint8_t, 16> m{};
    for (int j = 0; j < 16; ++j) {
        const int s = 3 * j + p;
        m[j] = s / 16 == k ? static_cast<uint8_t>(s % 16) : 0x80;
    }
    return m;
}

// pshufb masks that scatter plane `p` into the 16-byte chunk `k`.
constexpr std::array<uint8_t, 16> packedMask(int p, int k) {
    std::array<uint8_t, 16> m{};
    for (int t = 0; t < 16; ++t) {
        const int o = 16 * k + t;
        m[t] = o % 3 == p ? static_cast<uint8_t>(o / 3) : 0x80;
    }
    return m;
}

// Masks that spread one plane over all three bytes of each pixel.
constexpr std::array<uint8_t, 16> spreadMask(int k) {
    std::array<uint8_t, 16> m{};
    for (int t = 0; t < 16; ++t) m[t] = static_cast<uint8_t>((16 * k + t) / 3);
    return m;
}

alignas(16) constexpr std::array<std::array<std::array<uint8_t, 16>, 3>, 3> kPlaneMasks = {{
    {planeMask(0, 0), planeMask(0, 1), planeMask(0, 2)},
    {planeMask(1, 0), planeMask(1, 1), planeMask(1, 2)},
    {planeMask(2, 0), planeMask(2, 1), planeMask(2, 2)},
}};
alignas(16) constexpr std::array<std::array<std::array<uint8_t, 16>, 3>, 3> kPackedMasks = {{
    {packedMask(0, 0), packedMask(0, 1), packedMask(0, 2)},
    {packedMask(1, 0), packedMask(1, 1), packedMask(1, 2)},
    {packedMask(2, 0), packedMask(2, 1), packedMask(2, 2)},
}};
alignas(16) constexpr std::array<std::array<uint8_t, 16>, 3> kSpreadMasks = {
    {spreadMask(0), spreadMask(1), spreadMask(2)}};

QX_AVX2 inline __m128i mask(const std::array<uint8_t, 16>& m) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m.data()));
}

struct Planes {
    __m128i b, g, r;
};

QX_AVX2 inline __m128i gatherPlane(const __m128i chunk[3], int p) {
    const __m128i lo = _mm_shuffle_epi8(chunk[0], mask(kPlaneMasks[p][0]));
    const __m128i mid = _mm_shuffle_epi8(chunk[1], mask(kPlaneMasks[p][1]));
    const __m128i hi = _mm_shuffle_epi8(chunk[2], mask(kPlaneMasks[p][2]));
    return _mm_or_si128(_mm_or_si128(lo, mid), hi);
}

QX_AVX2 inline Planes loadPlanes(const uint8_t* px) {
    const __m128i chunk[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(px)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 16)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 32))};
    return {gatherPlane(chunk, 0), gatherPlane(chunk, 1), gatherPlane(chunk, 2)};
}

QX_AVX2 inline void storePlanes(uint8_t* px, const Planes& v) {
    for (int k = 0; k < 3; ++k) {
        const __m128i b = _mm_shuffle_epi8(v.b, mask(kPackedMasks[0][k]));
        const __m128i g = _mm_shuffle_epi8(v.g, mask(kPackedMasks[1][k]));
        const __m128i r = _mm_shuffle_epi8(v.r, mask(kPackedMasks[2][k]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 16 * k),
                         _mm_or_si128(_mm_or_si128(b, g), r));
    }
}

QX_AVX2 inline void storeSpread(uint8_t* px, __m128i m) {
    for (int k = 0; k < 3; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 16 * k),
                         _mm_shuffle_epi8(m, mask(kSpreadMasks[k])));
}

// ---- Grey ------------------------------------------------------------------

// (b + g + r) / 3 for sums up to 765 is (sum * 21846) >> 16: the excess
// over a third is at most 765 * 2 / 196608 < 1/3, too little to reach the
// next integer.
constexpr int kThirdMul = 21846;

QX_AVX2 int32_t greyRows(uint8_t* px, int32_t blocks) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i third = _mm_set1_epi16(kThirdMul);
    for (int32_t i = 0; i < blocks; ++i, px += 3 * kBlock) {
        const Planes v = loadPlanes(px);
        const __m128i sumLo = _mm_add_epi16(
            _mm_add_epi16(_mm_unpacklo_epi8(v.b, zero), _mm_unpacklo_epi8(v.g, zero)),
            _mm_unpacklo_epi8(v.r, zero));
        const __m128i sumHi = _mm_add_epi16(
            _mm_add_epi16(_mm_unpackhi_epi8(v.b, zero), _mm_unpackhi_epi8(v.g, zero)),
            _mm_unpackhi_epi8(v.r, zero));
        const __m128i m = _mm_packus_epi16(_mm_mulhi_epu16(sumLo, third),
                                           _mm_mulhi_epu16(sumHi, third));
        storeSpread(px, m);
    }
    return blocks * kBlock;
}

// ---- Sepia -----------------------------------------------------------------

// One output channel: floor(y + c) = floor(y) + base + (frac(y) >= tau).
struct SepiaChannel {
    int16_t base;
    float tau;
};

SepiaChannel sepiaChannel(double offset) {
    const double base = std::floor(offset);
    const double tau = 1.0 - (offset - base);
    float t = static_cast<float>(tau);
    if (static_cast<double>(t) < tau) t = std::nextafter(t, 2.0f);
    return {static_cast<int16_t>(base), t};
}

struct SepiaConstants {
    SepiaChannel red, green, blue;
    float highRed, highGreen, highBlue;  // Wh * 2^-14
    float lowRed, lowGreen, lowBlue;     // Wl * 2^-27
};

SepiaConstants buildSepiaConstants() {
    SepiaConstants k{};
    k.red = sepiaChannel(kSepiaRed1 - kSepiaRed2);
    k.green = sepiaChannel(kSepiaGreen2 - kSepiaGreen1);
    k.blue = sepiaChannel(-kSepiaBlue1 - kSepiaBlue2);
    const auto split = [](float weight, float& high, float& low) {
        const auto w = static_cast<int64_t>(std::ldexp(static_cast<double>(weight), 27));
        high = static_cast<float>(std::ldexp(static_cast<double>(w >> 13), -14));
        low = static_cast<float>(std::ldexp(static_cast<double>(w & 8191), -27));
    };
    split(kLumaRed, k.highRed, k.lowRed);
    split(kLumaGreen, k.highGreen, k.lowGreen);
    split(kLumaBlue, k.highBlue, k.lowBlue);
    return k;
}

const SepiaConstants& sepiaConstants() {
    static const SepiaConstants k = buildSepiaConstants();
    return k;
}

// Luma of 8 pixels whose channels are given as 8 bytes each.
struct LumaParts {
    __m256 highR, highG, highB, lowR, lowG, lowB;
};

QX_AVX2 inline __m256 toFloat(__m128i bytes) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
}

QX_AVX2 inline __m256 luma8(__m128i b, __m128i g, __m128i r, const LumaParts& w) {
    const __m256 fb = toFloat(b), fg = toFloat(g), fr = toFloat(r);
    const __m256 high =
        _mm256_fmadd_ps(fb, w.highB, _mm256_fmadd_ps(fg, w.highG, _mm256_mul_ps(fr, w.highR)));
    const __m256 low =
        _mm256_fmadd_ps(fb, w.lowB, _mm256_fmadd_ps(fg, w.lowG, _mm256_mul_ps(fr, w.lowR)));
    return _mm256_add_ps(high, low);
}

// floor(y + c) of 16 pixels, clamped to bytes. Whole parts and fractions
// come in two halves of 8; the 16-bit packs interleave the halves by
// 128-bit lane, which the final permute undoes.
QX_AVX2 inline __m128i sepiaChannel16(__m256i whole16, __m256 fracLo, __m256 fracHi,
                                      const SepiaChannel& c) {
    const __m256 tau = _mm256_set1_ps(c.tau);
    const __m256i above = _mm256_packs_epi32(
        _mm256_castps_si256(_mm256_cmp_ps(fracLo, tau, _CMP_GE_OQ)),
        _mm256_castps_si256(_mm256_cmp_ps(fracHi, tau, _CMP_GE_OQ)));
    const __m256i value =
        _mm256_sub_epi16(_mm256_add_epi16(whole16, _mm256_set1_epi16(c.base)), above);
    const __m256i ordered = _mm256_permute4x64_epi64(value, 0xD8);
    return _mm_packus_epi16(_mm256_castsi256_si128(ordered),
                            _mm256_extracti128_si256(ordered, 1));
}

template <bool kInverted>
QX_AVX2 int32_t sepiaRows(uint8_t* px, int32_t blocks) {
    const SepiaConstants& k = sepiaConstants();
    const LumaParts w = {_mm256_set1_ps(k.highRed), _mm256_set1_ps(k.highGreen),
                         _mm256_set1_ps(k.highBlue), _mm256_set1_ps(k.lowRed),
                         _mm256_set1_ps(k.lowGreen), _mm256_set1_ps(k.lowBlue)};
    const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
    for (int32_t i = 0; i < blocks; ++i, px += 3 * kBlock) {
        const Planes v = loadPlanes(px);
        const __m256 yLo = luma8(v.b, v.g, v.r, w);
        const __m256 yHi = luma8(_mm_srli_si128(v.b, 8), _mm_srli_si128(v.g, 8),
                                 _mm_srli_si128(v.r, 8), w);
        const __m256i wholeLo = _mm256_cvttps_epi32(yLo);
        const __m256i wholeHi = _mm256_cvttps_epi32(yHi);
        const __m256 fracLo = _mm256_sub_ps(yLo, _mm256_cvtepi32_ps(wholeLo));
        const __m256 fracHi = _mm256_sub_ps(yHi, _mm256_cvtepi32_ps(wholeHi));
        const __m256i whole16 = _mm256_packs_epi32(wholeLo, wholeHi);
        const __m128i red = sepiaChannel16(whole16, fracLo, fracHi, k.red);
        const __m128i blue = sepiaChannel16(whole16, fracLo, fracHi, k.blue);
        if constexpr (kInverted) {
            // Tone 18: 255 - blue', 255 - blue', 255 - red'.
            const __m128i invBlue = _mm_xor_si128(blue, ones);
            storePlanes(px, {invBlue, invBlue, _mm_xor_si128(red, ones)});
        } else {
            const __m128i green = sepiaChannel16(whole16, fracLo, fracHi, k.green);
            storePlanes(px, {blue, green, red});
        }
    }
    return blocks * kBlock;
}

}  // namespace

bool avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

int32_t applyColorToneAvx2(uint8_t* pixels, int32_t count, int32_t tone) {
    const int32_t blocks = count / kBlock;
    switch (tone) {
        case kToneGrey: return greyRows(pixels, blocks);
        case kToneSepia: return sepiaRows<false>(pixels, blocks);
        case kToneInvertedSepia: return sepiaRows<true>(pixels, blocks);
        default: return 0;
    }
}

}  // namespace quexal::detail

#else  // not x86

namespace quexal::detail {

bool avx2Available() { return false; }
int32_t applyColorToneAvx2(uint8_t*, int32_t, int32_t) { return 0; }

}  // namespace quexal::detail

#endif
