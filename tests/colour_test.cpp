// The colour effect: tone values, exactness of the fast rows, the glow
// pipelines, refusals and row order.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "effects/colour/colour_tones.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

// ---- A straightforward reference, written from the formulas -------------

int clamp255(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

void referenceTone(uint8_t* px, int tone) {
    const int b = px[0], g = px[1], r = px[2];
    const double y =
        static_cast<float>(r * static_cast<double>(0.299f) + g * static_cast<double>(0.587f) +
                           b * static_cast<double>(0.114f));
    const int red = clamp255(static_cast<int>((y + 42.66149868071079) - 0.15835501347899417));
    const int green = clamp255(static_cast<int>((y - 12.138000659644604) + 0.16498501996636428));
    const int blue = clamp255(static_cast<int>((y - 49.31062585115433) - 0.4340100482010847));
    const auto lumaPart = [](int i, float w) {
        return static_cast<int>(static_cast<float>(3 * i) * static_cast<double>(w));
    };
    const int s = lumaPart(r, 0.2125f) + lumaPart(g, 0.7154f) + lumaPart(b, 0.0721f);
    switch (tone) {
        case 16:
            px[0] = 255 - b;
            px[1] = 255 - g;
            px[2] = 255 - r;
            break;
        case 17: px[0] = px[1] = px[2] = (b + g + r) / 3; break;
        case 18:
            px[0] = px[1] = 255 - blue;
            px[2] = 255 - red;
            break;
        case 19:
            if (s <= 484) px[0] = px[1] = px[2] = 0;
            break;
        case 20: px[0] = px[1] = px[2] = s > 484 ? (s - 484) & 0xFF : 0; break;
        case 25:
            px[0] = blue;
            px[1] = green;
            px[2] = red;
            break;
    }
}

void referenceScreen(uint8_t* px, const uint8_t* other, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) px[i] = 255 - (((255 - px[i]) * (255 - other[i])) >> 8);
}

cv::Mat referenceToned(const cv::Mat& image, int tone) {
    cv::Mat out = image.clone();
    for (std::size_t i = 0; i < out.total(); ++i) referenceTone(out.data + 3 * i, tone);
    return out;
}

cv::Mat referenceScreened(cv::Mat blurred, const cv::Mat& other) {
    referenceScreen(blurred.data, other.data, blurred.total() * 3);
    return blurred;
}

// Mode 18 and mode 24 on a top-first picture.
cv::Mat referenceGlow(const cv::Mat& image) {
    const cv::Mat inverted = referenceToned(image, 18);
    cv::Mat bright = referenceToned(inverted, 19);
    cv::blur(bright, bright, cv::Size(25, 25), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    return referenceScreened(bright, inverted);
}

cv::Mat referenceSoftGrey(const cv::Mat& image) {
    cv::Mat level = referenceToned(referenceToned(image, 18), 20);
    cv::GaussianBlur(level, level, cv::Size(5, 5), 0.0, 0.0, cv::BORDER_REPLICATE);
    return referenceScreened(level, image);
}

// Every colour once: blue in the low byte of the index, red in the high.
std::vector<uint8_t> everyColour() {
    std::vector<uint8_t> px(3u << 24);
    for (uint32_t i = 0; i < (1u << 24); ++i) {
        px[3 * i] = i & 0xFF;
        px[3 * i + 1] = (i >> 8) & 0xFF;
        px[3 * i + 2] = i >> 16;
    }
    return px;
}

std::vector<uint8_t> tonedPixel(std::vector<uint8_t> px, int tone) {
    applyColorTone(px.data(), static_cast<int32_t>(px.size() / 3), tone);
    return px;
}

using Bytes = std::vector<uint8_t>;

// ---- Tones -----------------------------------------------------------------

TEST(ColourTones, WorkedValues) {
    EXPECT_EQ((Bytes{20, 20, 20}), tonedPixel({10, 20, 31}, 17));
    EXPECT_EQ((Bytes{0, 0, 42}), tonedPixel({0, 0, 0}, 25));
    EXPECT_EQ((Bytes{205, 243, 255}), tonedPixel({255, 255, 255}, 25));
    EXPECT_EQ((Bytes{245, 234, 223}), tonedPixel({10, 21, 32}, 16));
}

TEST(ColourTones, NegativeTwiceRestoresAndUnknownTonesDoNothing) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Bytes px(photo.data, photo.data + photo.total() * 3);
    const Bytes original = px;
    applyColorTone(px.data(), static_cast<int32_t>(photo.total()), 16);
    EXPECT_NE(original, px);
    applyColorTone(px.data(), static_cast<int32_t>(photo.total()), 16);
    EXPECT_EQ(original, px);
    for (int tone : {0, 15, 21, 24, 26, -1})
        applyColorTone(px.data(), static_cast<int32_t>(photo.total()), tone);
    applyColorTone(px.data(), 0, 16);
    applyColorTone(px.data(), -5, 16);
    applyColorTone(nullptr, 10, 16);
    EXPECT_EQ(original, px);
}

TEST(ColourTones, LumaTableEntries) {
    const LumaTable& table = lumaTable();
    EXPECT_EQ(162, table[255].red);
    EXPECT_EQ(547, table[255].green);
    EXPECT_EQ(55, table[255].blue);
    EXPECT_EQ(0, table[0].red + table[0].green + table[0].blue);
    EXPECT_EQ(&table, &lumaTable());  // built once
}

// The vector rows must match the formulas on every colour, and runs whose
// length is not a whole number of blocks must be finished correctly.
TEST(ColourTones, EveryColourMatchesTheFormulas) {
    const Bytes colours = everyColour();
    for (int tone : {16, 17, 18, 19, 20, 25}) {
        Bytes fast = colours, expected = colours;
        applyColorTone(fast.data(), 1 << 24, tone);
        for (std::size_t i = 0; i < expected.size(); i += 3) referenceTone(&expected[i], tone);
        std::size_t firstBad = 0;
        while (firstBad < fast.size() && fast[firstBad] == expected[firstBad]) ++firstBad;
        EXPECT_EQ(fast.size(), firstBad)
            << "tone " << tone << " differs at colour " << firstBad / 3;
    }
}

TEST(ColourTones, PortableAndVectorRowsAgreeOnShortRuns) {
    if (!detail::colourVectorRowsAvailable()) GTEST_SKIP() << "no vector rows here";
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    for (int count : {1, 15, 16, 17, 333, 5001}) {
        for (int tone : {17, 18, 19, 20, 25}) {
            Bytes fast(photo.data, photo.data + count * 3), portable = fast;
            applyColorTone(fast.data(), count, tone);
            detail::applyColorTonePortable(portable.data(), count, tone);
            EXPECT_EQ(portable, fast) << "tone " << tone << ", " << count << " pixels";
            // Toning into another buffer gives the same bytes.
            const Bytes source(photo.data, photo.data + count * 3);
            Bytes into(source.size() + 1, 77);
            applyColorToneInto(source.data(), into.data(), count, tone);
            EXPECT_EQ(77, into.back());
            into.pop_back();
            EXPECT_EQ(portable, into) << "into, tone " << tone << ", " << count << " pixels";
        }
    }
}

TEST(ScreenBlend, BlackWhiteAndRefusals) {
    Bytes black(30, 0), other(30, 0);
    screenBlend(black.data(), other.data(), 10);
    EXPECT_EQ(Bytes(30, 1), black);

    Bytes white(6, 255), any = {0, 17, 99, 128, 200, 255};
    screenBlend(white.data(), any.data(), 2);
    EXPECT_EQ(Bytes(6, 255), white);
    Bytes anyCopy = any;
    screenBlend(anyCopy.data(), Bytes(6, 255).data(), 2);
    EXPECT_EQ(Bytes(6, 255), anyCopy);

    Bytes kept = {1, 2, 3};
    screenBlend(kept.data(), nullptr, 1);
    screenBlend(nullptr, kept.data(), 1);
    screenBlend(kept.data(), other.data(), 0);
    screenBlend(kept.data(), other.data(), -1);
    EXPECT_EQ((Bytes{1, 2, 3}), kept);

    Bytes a = {100, 200, 30}, o = {50, 60, 255};
    screenBlend(a.data(), o.data(), 1);  // 255 - (155 * 205 >> 8) = 131, ...
    EXPECT_EQ((Bytes{131, 214, 255}), a);
}

// Every pair of bytes, in a run whose length is no whole number of blocks.
TEST(ScreenBlend, EveryPairOfBytesMatchesTheFormula) {
    Bytes pixels, other;
    for (int p = 0; p < 256; ++p)
        for (int q = 0; q < 256; ++q) {
            pixels.push_back(static_cast<uint8_t>(p));
            other.push_back(static_cast<uint8_t>(q));
        }
    pixels.insert(pixels.end(), {9, 200});  // 21846 pixels
    other.insert(other.end(), {9, 100});
    Bytes expected = pixels;
    referenceScreen(expected.data(), other.data(), expected.size());
    screenBlend(pixels.data(), other.data(), static_cast<int32_t>(pixels.size() / 3));
    EXPECT_EQ(expected, pixels);
}

// ---- The export --------------------------------------------------------------

TEST(ColourEffect, EveryModeIsRefusedBeforeInit) {
    test::Frame frame(8, 4, 77);
    for (int mode : {16, 17, 18, 24, 25, 19, 0}) {
        EXPECT_EQ(QX_COLOR_NOT_READY, _QX_process_color(frame.data(), mode)) << mode;
        EXPECT_EQ(Bytes(8 * 4 * 3, 77), frame.bytes);
    }
    EXPECT_EQ(QX_COLOR_NOT_READY, _QX_process_color(nullptr, 16));
}

TEST(ColourEffect, UnknownModesLeaveTheFrameUntouched) {
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 320, 240, 0, 0));
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    const Bytes original = test::toHostFrame(photo, true);
    for (int mode : {19, 20, 21, 22, 23, 26, 0, 1, 15, 255, -16, INT_MIN, INT_MAX}) {
        Bytes frame = original;
        EXPECT_EQ(QX_COLOR_BAD_MODE, _QX_process_color(frame.data(), mode)) << mode;
        EXPECT_EQ(original, frame) << mode;
    }
    EXPECT_EQ(QX_COLOR_NOT_READY, _QX_process_color(nullptr, 16));
}

// Each mode against the reference, on a real photo in both row orders.
// The glow modes blur a top-first image, so both orders must give the same
// picture; the single tones do not look at the rows at all.
TEST(ColourEffect, ModesMatchTheReferenceInBothRowOrders) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    const struct {
        int mode;
        cv::Mat expected;
    } cases[] = {{16, referenceToned(photo, 16)},
                 {17, referenceToned(photo, 17)},
                 {25, referenceToned(photo, 25)},
                 {18, referenceGlow(photo)},
                 {24, referenceSoftGrey(photo)}};
    for (bool bottomUp : {true, false}) {
        Session ctx;
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, photo.cols, bottomUp ? photo.rows : -photo.rows));
        for (const auto& c : cases) {
            Bytes frame = test::toHostFrame(photo, bottomUp);
            ASSERT_EQ(1, ctx.processColor(frame.data(), c.mode));
            EXPECT_EQ(test::toHostFrame(c.expected, bottomUp), frame)
                << "mode " << c.mode << (bottomUp ? " bottom-up" : " top-down");
        }
    }
}

TEST(ColourEffect, OddWidthsAndRepeatedGlowCalls) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    cv::Mat crop;  // 333 x 17: rows of 999 bytes, not a multiple of 4
    cv::resize(photo, crop, cv::Size(333, 17), 0, 0, cv::INTER_AREA);
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, crop.cols, crop.rows));
    for (int round = 0; round < 2; ++round) {  // the second round reuses the working image
        for (const auto& [mode, expected] : {std::pair{16, referenceToned(crop, 16)},
                                             {17, referenceToned(crop, 17)},
                                             {25, referenceToned(crop, 25)},
                                             {18, referenceGlow(crop)},
                                             {24, referenceSoftGrey(crop)}}) {
            Bytes frame = test::toHostFrame(crop, true);
            ASSERT_EQ(1, ctx.processColor(frame.data(), mode));
            EXPECT_EQ(test::toHostFrame(expected, true), frame) << "mode " << mode;
        }
    }
}

TEST(ColourEffect, ReinitToAnotherSizeResizesThePipelines) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    test::Frame small(64, 48, 200);
    ASSERT_EQ(1, ctx.processColor(small.data(), 18));
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 333, -17));
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    cv::Mat wide;
    cv::resize(photo, wide, cv::Size(333, 17));
    Bytes frame = test::toHostFrame(wide, false);
    ASSERT_EQ(1, ctx.processColor(frame.data(), 24));
    EXPECT_EQ(test::toHostFrame(referenceSoftGrey(wide), false), frame);
}

}  // namespace
}  // namespace quexal
