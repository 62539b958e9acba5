// AVX2 rows of the grey, sepia and bright-part tones, bit for bit equal to the portable
// rows (the tests compare both on every one of the 2^24 colours).
//
// Why the sepia row is exact without doubles:
//  - Each luma weight times 2^27 is an integer W below 2^27. Split it as
//    W = Wh * 2^13 + Wl. For a pixel, H = sum(c * Wh) < 2^24 and
//    L = sum(c * Wl) < 2^23 are integers, so float arithmetic forms them
//    exactly. The double sum of the portable row is exact and equals
//    (H * 2^13 + L) * 2^-27, so its rounding to float is the single
//    correctly rounded float multiply-add L * 2^-27 + H * 2^-14. The row
//    forms it scaled by 2^23 (L * 2^-4 + H * 2^9): scaling by a power of
//    two commutes with the rounding, so Q = y * 2^23 exactly, and Q < 2^31.
//  - The portable row then adds a fixed offset c in double and truncates;
//    after clamping that is floor(y + c). y + c >= m holds exactly when
//    Q >= (m - c) * 2^23, that is when Q >= m * 2^23 + K with the integer
//    K = ceil(-c * 2^23), so floor(y + c) = (Q - K) >> 23: one subtract and
//    one shift a channel. For y >= 1, Q is an integer and this is exact.
//    Below 1 only red can be above 0, Q is y * 2^23 truncated, and no
//    colour's luma lies in the sliver where that could move red's step (the
//    tests check every colour).
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
        const __m128i sumLo =
            _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(v.b, zero), _mm_unpacklo_epi8(v.g, zero)),
                          _mm_unpacklo_epi8(v.r, zero));
        const __m128i sumHi =
            _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(v.b, zero), _mm_unpackhi_epi8(v.g, zero)),
                          _mm_unpackhi_epi8(v.r, zero));
        const __m128i m =
            _mm_packus_epi16(_mm_mulhi_epu16(sumLo, third), _mm_mulhi_epu16(sumHi, third));
        storeSpread(px, m);
    }
    return blocks * kBlock;
}

// ---- Sepia -----------------------------------------------------------------
//
// The sepia rows keep one pixel in each 32-bit lane (8 pixels a step), so
// that the luma comes from two 16-bit multiply-adds per part. The channels
// are then one subtract and one shift each; two packs clamp them to bytes
// (signed to 16 bits, then unsigned to 8) and one shuffle a 128-bit lane
// puts them in pixel order.

constexpr int kSepiaStep = 8;
constexpr int kLumaShift = 23;  // Q = y * 2^kLumaShift

// K = ceil(-offset * 2^23) of one channel: floor(y + offset) = (Q - K) >> 23.
int32_t sepiaThreshold(double offset) {
    return static_cast<int32_t>(std::ceil(std::ldexp(-offset, kLumaShift)));
}

// A luma weight times 2^27, split into its high part (from bit 13) and
// its low 13 bits.
struct SplitWeight {
    int16_t high, low;
};

SplitWeight splitWeight(float weight) {
    const auto w = static_cast<int64_t>(std::ldexp(static_cast<double>(weight), 27));
    return {static_cast<int16_t>(w >> 13), static_cast<int16_t>(w & 8191)};
}

struct SepiaConstants {
    int32_t red, green, blue;  // the thresholds K
    SplitWeight wRed, wGreen, wBlue;
};

const SepiaConstants& sepiaConstants() {
    static const SepiaConstants k = {sepiaThreshold(kSepiaRed1 - kSepiaRed2),
                                     sepiaThreshold(kSepiaGreen2 - kSepiaGreen1),
                                     sepiaThreshold(-kSepiaBlue1 - kSepiaBlue2),
                                     splitWeight(kLumaRed),
                                     splitWeight(kLumaGreen),
                                     splitWeight(kLumaBlue)};
    return k;
}

// pshufb masks over a 128-bit lane holding 4 pixels: (blue, green) and
// (red, 0) as 16-bit pairs of each 32-bit lane.
constexpr std::array<uint8_t, 16> pairMask(int first, int second) {
    std::array<uint8_t, 16> m{};
    for (int j = 0; j < 4; ++j) {
        m[4 * j] = static_cast<uint8_t>(3 * j + first);
        m[4 * j + 1] = 0x80;
        m[4 * j + 2] = second < 0 ? 0x80 : static_cast<uint8_t>(3 * j + second);
        m[4 * j + 3] = 0x80;
    }
    return m;
}

// The way from four planes of 4 bytes in a 128-bit lane (bytes 4p..4p+3
// hold plane p of pixels 0-3) to 12 packed bytes; `plane` names the plane
// of blue, green and red.
constexpr std::array<uint8_t, 16> interleaveMask(int blue, int green, int red) {
    std::array<uint8_t, 16> m{};
    const int plane[3] = {blue, green, red};
    for (int t = 0; t < 16; ++t)
        m[t] = t < 12 ? static_cast<uint8_t>(4 * plane[t % 3] + t / 3) : 0x80;
    return m;
}

alignas(16) constexpr std::array<uint8_t, 16> kBlueGreenMask = pairMask(0, 1);
alignas(16) constexpr std::array<uint8_t, 16> kRedMask = pairMask(2, -1);
// Planes blue, green, red, red for tone 25; blue, red, blue, red for tone 18.
alignas(16) constexpr std::array<uint8_t, 16> kSepiaOrder = interleaveMask(0, 1, 2);
alignas(16) constexpr std::array<uint8_t, 16> kInvertedOrder = interleaveMask(0, 0, 1);

QX_AVX2 inline __m256i laneMask(const std::array<uint8_t, 16>& m) {
    return _mm256_broadcastsi128_si256(mask(m));
}

QX_AVX2 inline __m256i weightPair(int16_t first, int16_t second) {
    return _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(first)) |
                             (static_cast<int32_t>(static_cast<uint16_t>(second)) << 16));
}

// floor(y + offset) of a channel; red's offset is positive, so Q - K stays
// positive and may pass 2^31: it is shifted as unsigned. The others may be
// negative and are shifted as signed; the packs clamp both ends.
QX_AVX2 inline __m256i redLevel(__m256i q, int32_t k) {
    return _mm256_srli_epi32(_mm256_sub_epi32(q, _mm256_set1_epi32(k)), kLumaShift);
}
QX_AVX2 inline __m256i darkLevel(__m256i q, int32_t k) {
    return _mm256_srai_epi32(_mm256_sub_epi32(q, _mm256_set1_epi32(k)), kLumaShift);
}

// 8 pixels a step from `src` to `dst`, which may be the same. Each step
// reads 4 bytes past its 24, so the caller leaves those 4 bytes to the
// portable rows.
template <bool kInverted>
QX_AVX2 int32_t sepiaRows(const uint8_t* src, uint8_t* dst, int32_t steps) {
    const SepiaConstants& k = sepiaConstants();
    const __m256i blueGreen = laneMask(kBlueGreenMask), red = laneMask(kRedMask);
    const __m256i order = laneMask(kInverted ? kInvertedOrder : kSepiaOrder);
    const __m256i highBG = weightPair(k.wBlue.high, k.wGreen.high);
    const __m256i lowBG = weightPair(k.wBlue.low, k.wGreen.low);
    const __m256i highR = weightPair(k.wRed.high, 0), lowR = weightPair(k.wRed.low, 0);
    const __m256 highScale = _mm256_set1_ps(0x1p9f), lowScale = _mm256_set1_ps(0x1p-4f);
    for (int32_t i = 0; i < steps; ++i, src += 3 * kSepiaStep, dst += 3 * kSepiaStep) {
        // Lane 0 holds pixels 0-3 from byte 0, lane 1 pixels 4-7 from byte 12.
        const __m256i in = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 12)), 1);
        const __m256i bg = _mm256_shuffle_epi8(in, blueGreen);
        const __m256i r = _mm256_shuffle_epi8(in, red);
        const __m256i high =
            _mm256_add_epi32(_mm256_madd_epi16(bg, highBG), _mm256_madd_epi16(r, highR));
        const __m256i low =
            _mm256_add_epi32(_mm256_madd_epi16(bg, lowBG), _mm256_madd_epi16(r, lowR));
        const __m256i q = _mm256_cvttps_epi32(_mm256_fmadd_ps(
            _mm256_cvtepi32_ps(low), lowScale, _mm256_mul_ps(_mm256_cvtepi32_ps(high), highScale)));

        const __m256i redByte = redLevel(q, k.red);
        const __m256i blueByte = darkLevel(q, k.blue);
        __m256i planes;
        if constexpr (kInverted) {
            // Tone 18: 255 - blue', 255 - blue', 255 - red'.
            const __m256i words = _mm256_packs_epi32(blueByte, redByte);
            planes = _mm256_xor_si256(_mm256_packus_epi16(words, words), _mm256_set1_epi8(-1));
        } else {
            const __m256i greenByte = darkLevel(q, k.green);
            planes = _mm256_packus_epi16(_mm256_packs_epi32(blueByte, greenByte),
                                         _mm256_packs_epi32(redByte, redByte));
        }
        // Back to 12 bytes a lane. Lane 1's bytes are stored as 8 and 4 so
        // that, in place, no store reaches into the bytes the next step
        // loads (a partly overlapping store would stall that load).
        const __m256i out = _mm256_shuffle_epi8(planes, order);
        const __m128i upper = _mm256_extracti128_si256(out, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(out));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 12), upper);
        _mm_storeu_si32(dst + 20, _mm_srli_si128(upper, 8));
    }
    return steps * kSepiaStep;
}

// Steps of 8 pixels that fit a run of `count` with the 4 spare bytes.
int32_t sepiaSteps(int32_t count) {
    const int64_t bytes = static_cast<int64_t>(count) * 3;
    return bytes < 28 ? 0 : static_cast<int32_t>((bytes - 4) / (3 * kSepiaStep));
}

// ---- Bright parts (tones 19 and 20) ------------------------------------------

QX_AVX2 inline __m256 toFloat(__m128i bytes) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
}

// The luma table entry of channel value i is trunc(3i * weight). The float
// product truncates to the same integer as the exact one for every i and
// weight (the tests compare all colours with the table), so the row forms
// the table sum with three float multiplies instead of three look-ups.
QX_AVX2 inline __m256i tablePart8(__m128i channel, float weight) {
    const __m256 v = _mm256_mul_ps(toFloat(channel), _mm256_set1_ps(3.0f));
    return _mm256_cvttps_epi32(_mm256_mul_ps(v, _mm256_set1_ps(weight)));
}

QX_AVX2 inline __m256i tableSum8(__m128i b, __m128i g, __m128i r) {
    return _mm256_add_epi32(_mm256_add_epi32(tablePart8(r, kTableRed), tablePart8(g, kTableGreen)),
                            tablePart8(b, kTableBlue));
}

QX_AVX2 inline __m256i level8(__m256i sum, __m256i bright) {
    const __m256i excess = _mm256_sub_epi32(sum, _mm256_set1_epi32(kBrightThreshold));
    return _mm256_and_si256(_mm256_and_si256(excess, bright), _mm256_set1_epi32(0xFF));
}

// Packs two halves of 8 int32 (each 0..255) into 16 bytes in pixel order.
QX_AVX2 inline __m128i packBytes(__m256i lo, __m256i hi) {
    const __m256i ordered = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    return _mm_packus_epi16(_mm256_castsi256_si128(ordered), _mm256_extracti128_si256(ordered, 1));
}

template <bool kLevel>
QX_AVX2 int32_t brightRows(uint8_t* px, int32_t blocks) {
    const __m256i threshold = _mm256_set1_epi32(kBrightThreshold);
    const __m256i lowByte = _mm256_set1_epi32(0xFF);
    for (int32_t i = 0; i < blocks; ++i, px += 3 * kBlock) {
        const Planes v = loadPlanes(px);
        const __m256i sumLo = tableSum8(v.b, v.g, v.r);
        const __m256i sumHi =
            tableSum8(_mm_srli_si128(v.b, 8), _mm_srli_si128(v.g, 8), _mm_srli_si128(v.r, 8));
        const __m256i brightLo = _mm256_cmpgt_epi32(sumLo, threshold);
        const __m256i brightHi = _mm256_cmpgt_epi32(sumHi, threshold);
        if constexpr (kLevel) {
            // Tone 20: the low byte of the excess, grey.
            storeSpread(px, packBytes(level8(sumLo, brightLo), level8(sumHi, brightHi)));
        } else {
            // Tone 19: bright pixels stay, the rest turn black.
            const __m128i keep =
                packBytes(_mm256_and_si256(brightLo, lowByte), _mm256_and_si256(brightHi, lowByte));
            storePlanes(
                px, {_mm_and_si128(v.b, keep), _mm_and_si128(v.g, keep), _mm_and_si128(v.r, keep)});
        }
    }
    return blocks * kBlock;
}

}  // namespace

int32_t applyColorToneAvx2(uint8_t* pixels, int32_t count, int32_t tone) {
    const int32_t blocks = count / kBlock;
    switch (tone) {
        case kToneGrey: return greyRows(pixels, blocks);
        case kToneSepia: return sepiaRows<false>(pixels, pixels, sepiaSteps(count));
        case kToneInvertedSepia: return sepiaRows<true>(pixels, pixels, sepiaSteps(count));
        case kToneBrightKeep: return brightRows<false>(pixels, blocks);
        case kToneBrightLevel: return brightRows<true>(pixels, blocks);
        default: return 0;
    }
}

int32_t applyColorToneIntoAvx2(const uint8_t* src, uint8_t* dst, int32_t count, int32_t tone) {
    switch (tone) {
        case kToneSepia: return sepiaRows<false>(src, dst, sepiaSteps(count));
        case kToneInvertedSepia: return sepiaRows<true>(src, dst, sepiaSteps(count));
        default: return 0;
    }
}

}  // namespace quexal::detail

#else  // not x86

namespace quexal::detail {

int32_t applyColorToneAvx2(uint8_t*, int32_t, int32_t) {
    return 0;
}
int32_t applyColorToneIntoAvx2(const uint8_t*, uint8_t*, int32_t, int32_t) {
    return 0;
}

}  // namespace quexal::detail

#endif
