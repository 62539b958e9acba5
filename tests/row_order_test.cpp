// Fire and lens work on the host's buffer without a working copy, so they
// must walk it for the host's row order: a host whose rows run top first
// sees the same picture as one whose rows run bottom first, and the
// bottom-first bytes stay what they have always been.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

// 64-bit FNV-1a over a run of bytes, chained through `hash`.
uint64_t fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = 0xcbf29ce484222325ull) {
    for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
    return hash;
}

// Crops of the photo at odd sizes: a landscape one, and a portrait one
// whose swirl square sits an odd number of rows from the frame's ends.
struct Crop {
    cv::Rect rect;
    const char* name;
};
const Crop kCrops[] = {{{1, 2, 317, 237}, "317x237"}, {{50, 1, 151, 238}, "151x238"}};

cv::Mat cropOf(const Crop& crop) {
    return test::loadPhoto("astronaut_320x240.png")(crop.rect).clone();
}

// The picture a host buffer shows, top row first.
std::vector<uint8_t> picture(const std::vector<uint8_t>& buffer, int width, int height,
                             bool bottomUp) {
    const cv::Mat rows(height, width, CV_8UC3, const_cast<uint8_t*>(buffer.data()));
    return test::toHostFrame(rows, bottomUp);
}

// Each lens mode in turn on fresh copies of the crop, one context per row
// order, so that every table is built and rebuilt on the way.
std::vector<std::vector<uint8_t>> lensOutputs(const cv::Mat& crop, bool bottomUp) {
    Session ctx;
    EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, crop.cols, bottomUp ? crop.rows : -crop.rows));
    std::vector<std::vector<uint8_t>> outputs;
    for (int mode : {1, 2, 3, 4, 5, 6, 7, 1}) {
        std::vector<uint8_t> frame = test::toHostFrame(crop, bottomUp);
        EXPECT_EQ(1, ctx.processLens(frame.data(), mode));
        outputs.push_back(std::move(frame));
    }
    return outputs;
}

// Fire frames from a fresh context (so a fresh generator), each drawn on a
// fresh copy of the crop.
std::vector<std::vector<uint8_t>> fireOutputs(const cv::Mat& crop, bool bottomUp, int frames) {
    Session ctx;
    EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, crop.cols, bottomUp ? crop.rows : -crop.rows));
    std::vector<std::vector<uint8_t>> outputs;
    for (int i = 0; i < frames; ++i) {
        std::vector<uint8_t> frame = test::toHostFrame(crop, bottomUp);
        EXPECT_EQ(1, ctx.processFire(frame.data()));
        outputs.push_back(std::move(frame));
    }
    return outputs;
}

// Hashes of the bottom-first outputs as the effects first wrote them: per
// crop, lens modes 1..7 then 1 again, and the five fire frames together.
struct Recorded {
    uint64_t lens[8];
    uint64_t fire;
};
const Recorded kRecorded[] = {
    {{4275356292478887498ull, 2052130632150696197ull, 10990058979192645309ull,
      162638388830043108ull, 9913924843859026448ull, 7630837130746670453ull, 7003352207712403786ull,
      4275356292478887498ull},
     16591086314239072898ull},
    {{16078752129409834083ull, 15757438830032823058ull, 3866022382230358533ull,
      10838117861323210644ull, 4101856191171740912ull, 5972787292158299640ull,
      17865460679439585476ull, 16078752129409834083ull},
     9190828538357734418ull},
};

TEST(RowOrder, BottomFirstHostsKeepTheirBytes) {
    for (std::size_t c = 0; c < std::size(kCrops); ++c) {
        const cv::Mat crop = cropOf(kCrops[c]);
        const auto lens = lensOutputs(crop, true);
        for (std::size_t i = 0; i < lens.size(); ++i)
            EXPECT_EQ(kRecorded[c].lens[i], fnv1a(lens[i])) << kCrops[c].name << " step " << i;
        uint64_t fire = 0xcbf29ce484222325ull;
        for (const auto& frame : fireOutputs(crop, true, 5)) fire = fnv1a(frame, fire);
        EXPECT_EQ(kRecorded[c].fire, fire) << kCrops[c].name;
    }
}

TEST(RowOrder, TopFirstHostsSeeTheSamePicture) {
    for (const Crop& c : kCrops) {
        const cv::Mat crop = cropOf(c);
        const int w = crop.cols, h = crop.rows;
        const auto bottom = lensOutputs(crop, true), top = lensOutputs(crop, false);
        for (std::size_t i = 0; i < bottom.size(); ++i)
            EXPECT_EQ(picture(bottom[i], w, h, true), top[i]) << c.name << " step " << i;

        const auto fireBottom = fireOutputs(crop, true, 3), fireTop = fireOutputs(crop, false, 3);
        for (std::size_t i = 0; i < fireBottom.size(); ++i)
            EXPECT_EQ(picture(fireBottom[i], w, h, true), fireTop[i]) << c.name << " fire " << i;
    }

    // Flames rise from the bottom of the picture: on black, the first rows
    // of a top-first buffer are the three rows never drawn on.
    const int w = 64, h = 48;
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, w, -h));
    std::vector<uint8_t> frame(w * h * 3, 0);
    ASSERT_EQ(1, ctx.processFire(frame.data()));
    const std::size_t band = 3 * w * 3;
    EXPECT_EQ(std::vector<uint8_t>(band, 0),
              std::vector<uint8_t>(frame.begin(), frame.begin() + band));
    EXPECT_NE(std::vector<uint8_t>(band, 0), std::vector<uint8_t>(frame.end() - band, frame.end()));
}

}  // namespace
}  // namespace quexal
