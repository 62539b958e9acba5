// The fire: generator, palette, seeding, propagation, drawing and warm-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "effects/fire/fire_routine.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
void PrintTo(const Rgb& c, std::ostream* os) {
    *os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb entry(const CFireRoutine& fire, int i) {
    const uint32_t e = fire.palette[i];
    return {static_cast<int>(e >> 16 & 0xFF), static_cast<int>(e >> 8 & 0xFF),
            static_cast<int>(e & 0xFF)};
}

TEST(FireRandom, ReproducesTheUnseededCRuntimeSequence) {
    CrtRandom random;
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(expected, random.next());
}

TEST(FirePalette, WorkedEntriesOfTheDefaults) {
    CFireRoutine fire;
    fire.SetSize(8, 8);
    for (int i = 0; i < 25; ++i) EXPECT_EQ((Rgb{0, 0, 0}), entry(fire, i)) << i;
    const struct {
        int index;
        Rgb rgb;
    } worked[] = {{25, {4, 0, 0}},        {26, {8, 0, 0}},      {60, {152, 0, 0}},
                  {84, {254, 0, 0}},      {85, {255, 2, 0}},    {120, {255, 86, 0}},
                  {169, {255, 204, 0}},   {170, {255, 205, 2}}, {200, {255, 223, 92}},
                  {254, {255, 254, 254}}, {255, {0, 0, 0}}};
    for (const auto& w : worked) EXPECT_EQ(w.rgb, entry(fire, w.index)) << w.index;

    // Red never falls along the palette, and a rebuild gives the same one.
    for (int i = 26; i < 255; ++i) EXPECT_GE(entry(fire, i).r, entry(fire, i - 1).r) << i;
    const std::vector<uint32_t> before(fire.palette, fire.palette + 256);
    fire.SetSize(3, 2);
    EXPECT_EQ(before, std::vector<uint32_t>(fire.palette, fire.palette + 256));
}

// The default palette written out from its definition: three ramps of 85
// entries between the key colours (black, red, orange-yellow, white), then
// the first third again from black at entry 25. The steps are floats; the
// products and sums with them are doubles.
std::vector<Rgb> paletteFromItsDefinition() {
    std::vector<Rgb> palette(256, Rgb{0, 0, 0});
    const Rgb keys[4] = {{0, 0, 0}, {255, 0, 0}, {255, 205, 0}, {255, 255, 255}};
    auto ramp = [&](const Rgb& a, const Rgb& b, int first, int span) {
        const int d[3] = {b.r - a.r, b.g - a.g, b.b - a.b};
        const int n = std::max({std::abs(d[0]), std::abs(d[1]), std::abs(d[2])});
        const double indexStep = static_cast<float>(static_cast<double>(span) / n);
        double step[3];
        for (int i = 0; i < 3; ++i) step[i] = static_cast<float>(static_cast<double>(d[i]) / n);
        for (int j = 0; j < n; ++j) {
            const int index = first + static_cast<int>(j * indexStep);
            if (index >= 255) continue;
            palette[index] = {static_cast<int>(a.r + j * step[0]),
                              static_cast<int>(a.g + j * step[1]),
                              static_cast<int>(a.b + j * step[2])};
        }
    };
    for (int s = 0; s < 3; ++s) ramp(keys[s], keys[s + 1], 85 * s, 85);
    std::fill(palette.begin(), palette.begin() + 25, Rgb{0, 0, 0});
    ramp(keys[0], keys[1], 25, 85 - 25);
    return palette;
}

TEST(FirePalette, EveryEntryFollowsTheRampsInDouble) {
    CFireRoutine fire;
    fire.SetSize(8, 8);
    const std::vector<Rgb> expected = paletteFromItsDefinition();
    for (int i = 0; i < 256; ++i) EXPECT_EQ(expected[i], entry(fire, i)) << i;
}

// Over black every lit pixel is 60 % of one of the palette's colours.
TEST(FirePalette, FlamesOverBlackShowSixtyPercentOfItsColours) {
    std::set<std::array<int, 3>> lit;
    for (const Rgb& e : paletteFromItsDefinition())
        lit.insert({static_cast<int>(e.b * 0.6), static_cast<int>(e.g * 0.6),
                    static_cast<int>(e.r * 0.6)});
    const int w = 320, h = 240;
    CFireRoutine fire;
    fire.SetSize(w, h);
    fire.Run(100);
    std::vector<uint8_t> frame(w * h * 3, 0);
    fire.Render(frame.data());
    std::set<std::array<int, 3>> seen;
    for (std::size_t i = 0; i < frame.size(); i += 3) {
        const std::array<int, 3> px = {frame[i], frame[i + 1], frame[i + 2]};
        ASSERT_TRUE(lit.count(px)) << px[0] << "," << px[1] << "," << px[2];
        seen.insert(px);
    }
    EXPECT_GT(seen.size(), 150u);  // most of the palette shows
}

TEST(FireSeeding, RunsOfFullHeatDrawnFromTheGenerator) {
    CFireRoutine fire;
    fire.SetSize(2000, 2);
    fire.SeedRow();

    // Replay the draws: one per position, one more per run.
    CrtRandom replay;
    std::vector<uint8_t> expected(2000, 0);
    for (int x = 0; x < 2000; ++x) {
        if (replay.next() % 101 >= 8) continue;
        const int run = replay.next() % 35 + 1;
        for (int i = x; i < std::min(x + run, 2000); ++i) expected[i] = 254;
        x += run;
    }
    EXPECT_EQ(expected, std::vector<uint8_t>(fire.heat.begin(), fire.heat.begin() + 2000));
    EXPECT_EQ(std::vector<uint8_t>(2000, 0),
              std::vector<uint8_t>(fire.heat.begin() + 2000, fire.heat.end()));
    EXPECT_GT(std::count(expected.begin(), expected.end(), 254), 100);
}

TEST(FireBurn, AveragesInPlaceDownEachColumn) {
    CFireRoutine fire;
    fire.SetSize(6, 3);
    const uint8_t start[3][6] = {
        {10, 20, 30, 40, 50, 60}, {0, 0, 7, 70, 0, 0}, {0, 0, 14, 21, 0, 0}};
    std::memcpy(fire.heat.data(), start, sizeof start);
    fire.Burn();
    // Column 2: (10+20+30+40+50 + 7) / 6 = 26, then (30 + 0+0+26+70+0 + 14) / 7 = 20.
    // Column 3 sees column 2's new values: (20+30+40+50+60 + 70) / 6 = 45,
    // then (40 + 0+26+45+0+0 + 21) / 7 = 18.
    const uint8_t expected[3][6] = {
        {10, 20, 30, 40, 50, 60}, {0, 0, 26, 45, 0, 0}, {0, 0, 20, 18, 0, 0}};
    EXPECT_EQ(0, std::memcmp(expected, fire.heat.data(), sizeof expected));
}

TEST(FireBurn, EqualsTheColumnByColumnDefinition) {
    std::mt19937 gen(7);
    for (auto [w, h] : {std::pair{5, 2}, {6, 3}, {7, 9}, {64, 40}, {333, 17}}) {
        CFireRoutine fire;
        fire.SetSize(w, h);
        for (auto& cell : fire.heat) cell = static_cast<uint8_t>(gen() % 255);
        CFireRoutine reference = fire;
        for (int x = 2; x <= w - 3; ++x)
            for (int y = 0; y <= h - 2; ++y)
                reference.heat[(y + 1) * w + x] = static_cast<uint8_t>(reference.HeatAt(x, y));
        fire.Burn();
        EXPECT_EQ(reference.heat, fire.heat) << w << "x" << h;
    }
}

TEST(FireRender, NarrowAndShortMapsDrawNothing) {
    for (auto [w, h] : {std::pair{4, 48}, {1, 1}, {64, 3}, {0, 0}}) {
        CFireRoutine fire;
        fire.SetSize(w, h);
        fire.SetSize(w, h);
        fire.Run(20);
        // One byte past the frame checks that nothing is written beyond it.
        std::vector<uint8_t> frame(static_cast<std::size_t>(w) * h * 3 + 1, 17);
        fire.Render(frame.data());
        EXPECT_EQ(std::vector<uint8_t>(frame.size(), 17), frame) << w << "x" << h;
        if (w <= 4 && h > 1)  // never burned: nothing but 0 above the seed row
            EXPECT_TRUE(std::all_of(fire.heat.begin() + w, fire.heat.end(),
                                    [](uint8_t c) { return c == 0; }));
    }
}

TEST(FireRender, OnlyBrightensToSixtyPercentOfThePalette) {
    const int w = 320, h = 240;
    CFireRoutine fire;
    fire.SetSize(w, h);
    fire.Run(100);

    CFireRoutine white = fire;
    std::vector<uint8_t> frame(w * h * 3, 255);
    white.Render(frame.data());
    EXPECT_EQ(std::vector<uint8_t>(frame.size(), 255), frame);

    CFireRoutine black = fire;
    std::fill(frame.begin(), frame.end(), 0);
    black.Render(frame.data());
    EXPECT_EQ(153, *std::max_element(frame.begin(), frame.end()));
    const std::size_t tail = 3 * w * 3;
    EXPECT_TRUE(std::all_of(frame.end() - tail, frame.end(), [](uint8_t b) { return b == 0; }));
    for (int r = 0; r + 3 < h; ++r)
        for (int x = 0; x < w; ++x) {
            const uint32_t e = black.palette[black.heat[(r + 3) * w + x]];
            const uint8_t* px = &frame[(r * w + x) * 3];
            for (int b = 0; b < 3; ++b)
                ASSERT_EQ(static_cast<int>((e >> 8 * b & 0xFF) * 0.6), px[b]) << r << "," << x;
        }

    const std::vector<uint8_t> photo =
        test::toHostFrame(test::loadPhoto("astronaut_320x240.png"), true);
    frame = photo;
    fire.Render(frame.data());
    for (std::size_t i = 0; i < frame.size(); ++i) ASSERT_GE(frame[i], photo[i]) << i;
    EXPECT_NE(photo, frame);
}

TEST(FireEffect, WarmsUpOnTheFirstFrameAfterEachInit) {
    const int w = 64, h = 48;
    Session ctx;
    std::vector<uint8_t> frame(w * h * 3, 0);
    EXPECT_EQ(QX_FIRE_NOT_READY, ctx.processFire(frame.data()));
    EXPECT_EQ(std::vector<uint8_t>(frame.size(), 0), frame);

    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, w, h));
    CFireRoutine reference;
    reference.SetSize(w, h);
    reference.Run(100);
    std::vector<uint8_t> expected = frame;
    reference.Render(expected.data());
    ASSERT_EQ(1, ctx.processFire(frame.data()));
    EXPECT_EQ(0, ctx.fire.warmupPending);
    EXPECT_EQ(expected, frame);
    EXPECT_EQ(reference.heat, ctx.fire.routine.heat);

    // Later frames take one step each.
    reference.Render(expected.data());
    ASSERT_EQ(1, ctx.processFire(frame.data()));
    EXPECT_EQ(expected, frame);

    // A new initialisation starts the map afresh; the generator runs on.
    // Top first now, so the flames are drawn from the buffer's end.
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, w, -h));
    EXPECT_EQ(1, ctx.fire.warmupPending);
    reference.SetSize(w, h);
    reference.Run(100);
    std::fill(frame.begin(), frame.end(), 0);
    expected = frame;
    reference.Render(expected.data(), RowOrder::TopFirst);
    ASSERT_EQ(1, ctx.processFire(frame.data()));
    EXPECT_EQ(expected, frame);

    // A refused size brings back the refusal.
    ASSERT_EQ(0, ctx.init(QUEXAL_DATA_ROOT, 0, h));
    EXPECT_EQ(QX_FIRE_NOT_READY, ctx.processFire(frame.data()));
}

}  // namespace
}  // namespace quexal
