// Compositing of the camera over the replacement background, driven by the
// matte: per pixel a value m from 0 (person) to 50 (background), with the
// values in between only in the band along the person's edge.
#pragma once

#include <array>
#include <cstdint>

namespace quexal::bkg {

// Matte values of the two edge bands.
inline constexpr int kFeatherBandEnd = 9;  // m 1..9 mixes camera into background
inline constexpr int kHaloBandEnd = 30;    // m 1..30 carries the halo

// Share of the frame, in percent, that must be found to be background.
inline constexpr double kMinBackgroundPercent = 15.0;

// Per matte value: the camera and background weights of the feather and
// the halo alpha. Built once; indexed by any 8-bit m (values outside a band
// have weight 0 and alpha 0).
struct EdgeTable {
    std::array<float, 256> cameraWeight{};      // cos(pi * m / 18) as a float
    std::array<float, 256> backgroundWeight{};  // 1 - cameraWeight, as a float
    std::array<uint8_t, 256> haloAlpha{};       // trunc(255 * float(sin(pi * m / 30)))
};
const EdgeTable& edgeTable();

// One feathered channel: trunc(c * w + b * v) in double precision.
inline uint8_t featherChannel(uint8_t c, uint8_t b, float w, float v) {
    return static_cast<uint8_t>(static_cast<double>(c) * w + static_cast<double>(b) * v);
}

// Halo colour bytes from the host's value: blue in bits 16-23, green in
// 8-15, red in 0-7; the top byte is ignored.
struct HaloColour {
    uint8_t blue, green, red;
};
inline HaloColour haloColourFrom(uint32_t value) {
    return {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value)};
}

// The per-pixel compositing rule over `pixelCount` packed pixels.
// `output` holds the background on entry and the composite on return;
// `camera` is the frame (3 bytes a pixel). With `halo` set, the edge band
// keeps the camera unfeathered and `haloLayer` (4 bytes a pixel, cleared by
// the caller) receives the halo colour with the alpha of each m in 1..30.
void compositeMatte(const uint8_t* matte, const uint8_t* camera, uint8_t* output,
                    int32_t pixelCount, bool halo, HaloColour colour, uint8_t* haloLayer);

// Blends a packed blue-green-red-alpha layer over a packed 3-byte image of
// the same size, in place: each channel trunc(layer * f + image * g) with
// f = float(a / 255.0), g = float(1 - f). Does nothing for a null pointer
// or a width or height of 0 or less.
void blendRgba(const uint8_t* layer, uint8_t* image, int32_t width, int32_t height);

// Whether the filled background is a plausible share of the frame.
inline bool enoughBackground(double backgroundArea, int32_t pixelCount) {
    return backgroundArea / pixelCount * 100.0 >= kMinBackgroundPercent;
}

}  // namespace quexal::bkg
