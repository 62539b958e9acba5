// Per-pixel colour tones and the screen blend of the colour effect. All of
// them work in place on runs of packed 24-bit pixels (blue, green, red) and
// are pure apart from the process-wide luma table.
#pragma once

#include <array>
#include <cstdint>

namespace quexal {

// Tone codes understood by applyColorTone. The first three and sepia are
// also the single-pass modes of the colour export; the others are steps of
// its two glow pipelines.
inline constexpr int32_t kToneNegative = 16;
inline constexpr int32_t kToneGrey = 17;
inline constexpr int32_t kToneInvertedSepia = 18;
inline constexpr int32_t kToneBrightKeep = 19;
inline constexpr int32_t kToneBrightLevel = 20;
inline constexpr int32_t kToneSepia = 25;

// Luma weights of the sepia tones, held as 32-bit floats.
inline constexpr float kLumaRed = 0.299f;
inline constexpr float kLumaGreen = 0.587f;
inline constexpr float kLumaBlue = 0.114f;

// The fixed sepia tint, added to the luma in this order: red' is
// (Y + kSepiaRed1) - kSepiaRed2, green' is (Y - kSepiaGreen1) + kSepiaGreen2
// and blue' is (Y - kSepiaBlue1) - kSepiaBlue2. In YIQ terms it is the chroma
// I = 44.625, Q = -0.255 taken through the YIQ-to-RGB matrix.
inline constexpr double kSepiaRed1 = 42.66149868071079;
inline constexpr double kSepiaRed2 = 0.15835501347899417;
inline constexpr double kSepiaGreen1 = 12.138000659644604;
inline constexpr double kSepiaGreen2 = 0.16498501996636428;
inline constexpr double kSepiaBlue1 = 49.31062585115433;
inline constexpr double kSepiaBlue2 = 0.4340100482010847;

// Weights of the luma table, held as 32-bit floats.
inline constexpr float kTableRed = 0.2125f;
inline constexpr float kTableGreen = 0.7154f;
inline constexpr float kTableBlue = 0.0721f;

// A pixel is bright when its table sum exceeds this (about 3 x 161).
inline constexpr int32_t kBrightThreshold = 484;

// Entry i holds, for v = 3i as a 32-bit float, v times each table weight,
// truncated. entry[r].red + entry[g].green + entry[b].blue is about three
// times the pixel's luma, 0 to 765.
struct LumaEntry {
    int32_t red, green, blue;
};
using LumaTable = std::array<LumaEntry, 256>;

// The process-wide table, built on first use and kept until unload.
const LumaTable& lumaTable();

// Rewrites `count` pixels from `pixels` on with the tone; unknown tones and
// a count of 0 or less do nothing.
void applyColorTone(uint8_t* pixels, int32_t count, int32_t tone);

// The tone applied from `src` into `dst` (count pixels each, not
// overlapping): the same bytes as copying, then toning in place, in one
// pass.
void applyColorToneInto(const uint8_t* src, uint8_t* dst, int32_t count, int32_t tone);

// Screens `count` pixels of `pixels` with the same pixels of `other`:
// each byte a becomes 255 - ((255 - a) * (255 - o) >> 8). The shift divides
// by 256, so two black bytes give 1. Does nothing for a null pointer or a
// count of 0 or less.
void screenBlend(uint8_t* pixels, const uint8_t* other, int32_t count);

namespace detail {

// The portable rows, the plain formulas, used for whatever the vector rows
// do not cover. Exposed so the tests can hold both paths to the same result.
void applyColorTonePortable(uint8_t* pixels, int32_t count, int32_t tone);

// True when this processor runs the vector rows of the tones.
bool colourVectorRowsAvailable();

}  // namespace detail
}  // namespace quexal
