#include "effects/colour/colour_tones.h"

#include <cstring>

#include "core/numeric.h"
#include "effects/colour/colour_tones_avx2.h"

namespace quexal {
namespace {

// Luma of tones 18 and 25: float weights, the sum in double, the result
// held as a 32-bit float. The products and their sum are exact in double
// (each weight is a multiple of 2^-27 and the sum stays below 256), so the
// only rounding is the final one to float.
float sepiaLuma(const uint8_t* px) {
    const double sum = px[2] * static_cast<double>(kLumaRed) +
                       px[1] * static_cast<double>(kLumaGreen) +
                       px[0] * static_cast<double>(kLumaBlue);
    return asFloat32(sum);
}

uint8_t sepiaRed(double y) {
    return clampByte(truncToInt((y + kSepiaRed1) - kSepiaRed2));
}
uint8_t sepiaGreen(double y) {
    return clampByte(truncToInt((y - kSepiaGreen1) + kSepiaGreen2));
}
uint8_t sepiaBlue(double y) {
    return clampByte(truncToInt((y - kSepiaBlue1) - kSepiaBlue2));
}

void negativeRow(uint8_t* px, int32_t count) {
    const std::size_t bytes = static_cast<std::size_t>(count) * 3;
    for (std::size_t i = 0; i < bytes; ++i) px[i] = static_cast<uint8_t>(255 - px[i]);
}

void greyRow(uint8_t* px, int32_t count) {
    for (int32_t i = 0; i < count; ++i, px += 3) {
        const uint8_t m = static_cast<uint8_t>((px[0] + px[1] + px[2]) / 3);
        px[0] = px[1] = px[2] = m;
    }
}

void sepiaRow(uint8_t* px, int32_t count) {
    for (int32_t i = 0; i < count; ++i, px += 3) {
        const double y = sepiaLuma(px);
        px[0] = sepiaBlue(y);
        px[1] = sepiaGreen(y);
        px[2] = sepiaRed(y);
    }
}

void invertedSepiaRow(uint8_t* px, int32_t count) {
    for (int32_t i = 0; i < count; ++i, px += 3) {
        const double y = sepiaLuma(px);
        const uint8_t blue = sepiaBlue(y);
        px[0] = px[1] = static_cast<uint8_t>(255 - blue);
        px[2] = static_cast<uint8_t>(255 - sepiaRed(y));
    }
}

int32_t tableSum(const LumaTable& table, const uint8_t* px) {
    return table[px[2]].red + table[px[1]].green + table[px[0]].blue;
}

// Tone 19: bright pixels stay, the rest turn black.
void brightKeepRow(uint8_t* px, int32_t count) {
    const LumaTable& table = lumaTable();
    for (int32_t i = 0; i < count; ++i, px += 3)
        if (tableSum(table, px) <= kBrightThreshold) px[0] = px[1] = px[2] = 0;
}

// Tone 20: grey of how far a pixel lies above the threshold, in its low
// byte (after tone 18 the excess stays below 256).
void brightLevelRow(uint8_t* px, int32_t count) {
    const LumaTable& table = lumaTable();
    for (int32_t i = 0; i < count; ++i, px += 3) {
        const int32_t s = tableSum(table, px);
        const uint8_t level = s > kBrightThreshold ? static_cast<uint8_t>(s - kBrightThreshold) : 0;
        px[0] = px[1] = px[2] = level;
    }
}

LumaTable buildLumaTable() {
    LumaTable table{};
    for (int i = 0; i < 256; ++i) {
        const double v = static_cast<float>(3 * i);
        table[i] = {truncToInt(v * kTableRed), truncToInt(v * kTableGreen),
                    truncToInt(v * kTableBlue)};
    }
    return table;
}

}  // namespace

const LumaTable& lumaTable() {
    static const LumaTable table = buildLumaTable();
    return table;
}

namespace detail {

void applyColorTonePortable(uint8_t* pixels, int32_t count, int32_t tone) {
    if (pixels == nullptr || count <= 0) return;
    switch (tone) {
        case kToneNegative: negativeRow(pixels, count); break;
        case kToneGrey: greyRow(pixels, count); break;
        case kToneInvertedSepia: invertedSepiaRow(pixels, count); break;
        case kToneBrightKeep: brightKeepRow(pixels, count); break;
        case kToneBrightLevel: brightLevelRow(pixels, count); break;
        case kToneSepia: sepiaRow(pixels, count); break;
        default: break;
    }
}

bool colourVectorRowsAvailable() {
    return avx2Available();
}

}  // namespace detail

void applyColorTone(uint8_t* pixels, int32_t count, int32_t tone) {
    if (pixels == nullptr || count <= 0) return;
    int32_t done = 0;
    if (detail::avx2Available()) done = detail::applyColorToneAvx2(pixels, count, tone);
    detail::applyColorTonePortable(pixels + static_cast<std::size_t>(done) * 3, count - done, tone);
}

void applyColorToneInto(const uint8_t* src, uint8_t* dst, int32_t count, int32_t tone) {
    if (src == nullptr || dst == nullptr || count <= 0) return;
    int32_t done = 0;
    if (detail::avx2Available()) done = detail::applyColorToneIntoAvx2(src, dst, count, tone);
    const std::size_t offset = static_cast<std::size_t>(done) * 3;
    std::memcpy(dst + offset, src + offset, static_cast<std::size_t>(count - done) * 3);
    detail::applyColorTonePortable(dst + offset, count - done, tone);
}

void screenBlend(uint8_t* pixels, const uint8_t* other, int32_t count) {
    if (pixels == nullptr || other == nullptr || count <= 0) return;
    const std::size_t bytes = static_cast<std::size_t>(count) * 3;
    std::size_t i = 0;
    if (detail::avx2Available()) i = detail::screenBlendAvx2(pixels, other, bytes);
    for (; i < bytes; ++i) {
        const unsigned product = (255u - pixels[i]) * (255u - other[i]);
        pixels[i] = static_cast<uint8_t>(255u - (product >> 8));
    }
}

}  // namespace quexal
