// The lens effect: refusals and table bookkeeping, the mirror, the swirl,
// and the distortions against a computation of their own.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "effects/lens/lens.h"
#include "effects/lens/lens_maps.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

// A frame of the 320x240 photo in the given row order, sized for `ctx`.
std::vector<uint8_t> photoFrame(bool bottomUp) {
    return test::toHostFrame(test::loadPhoto("astronaut_320x240.png"), bottomUp);
}

const uint8_t* pixel(const std::vector<uint8_t>& f, int width, int row, int col) {
    return &f[(static_cast<std::size_t>(row) * width + col) * 3];
}

bool samePixel(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int ra,
               int ca, int rb, int cb) {
    return std::memcmp(pixel(a, width, ra, ca), pixel(b, width, rb, cb), 3) == 0;
}

TEST(LensRefusals, BeforeInitAndForUnknownModesNothingChanges) {
    Session ctx;
    std::vector<uint8_t> frame = photoFrame(true);
    const std::vector<uint8_t> original = frame;
    EXPECT_EQ(QX_LENS_NOT_READY, ctx.processLens(frame.data(), 1));

    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 320, 240));
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));
    const int32_t* swirlTable = ctx.lens.swirlMap.data();
    frame = original;
    for (int mode : {0, 8, -1, 100}) {
        EXPECT_EQ(QX_LENS_BAD_MODE, ctx.processLens(frame.data(), mode)) << mode;
        EXPECT_EQ(1, ctx.lens.mode);
    }
    EXPECT_EQ(original, frame);

    // The previous mode carries on with its table: no rebuild.
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));
    EXPECT_EQ(swirlTable, ctx.lens.swirlMap.data());
}

TEST(LensRefusals, DistortionsNeedTheWorkingImages) {
    const std::string broken = test::makeDataFolderWithout("eye_8.xml");
    Session ctx;
    ASSERT_EQ(0, ctx.init(broken.c_str(), 320, 240));
    ASSERT_EQ(0, ctx.lens.mode);
    std::vector<uint8_t> frame = photoFrame(true);
    const std::vector<uint8_t> original = frame;
    for (int mode = 3; mode <= 7; ++mode) {
        EXPECT_EQ(QX_LENS_NOT_READY, ctx.processLens(frame.data(), mode)) << mode;
        EXPECT_EQ(0, ctx.lens.mode);
    }
    EXPECT_EQ(original, frame);
    // Swirl and mirror work on the host's buffer alone.
    EXPECT_EQ(1, ctx.processLens(frame.data(), 2));
    EXPECT_EQ(1, ctx.processLens(frame.data(), 1));
}

TEST(LensTables, RebuiltOnlyWhenTheModeChanges) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    std::vector<uint8_t> frame(64 * 48 * 3, 7);
    ASSERT_EQ(1, ctx.processLens(frame.data(), 3));
    const int32_t* remap = ctx.lens.remap.data();
    ASSERT_EQ(1, ctx.processLens(frame.data(), 3));
    EXPECT_EQ(remap, ctx.lens.remap.data());
    EXPECT_EQ(buildLensRemap(64, 48, 3), ctx.lens.remap);

    // The swirl drops the distortion table; a distortion keeps the swirl's.
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));
    EXPECT_TRUE(ctx.lens.remap.empty());
    EXPECT_EQ(48, ctx.lens.swirlSize);
    ASSERT_EQ(1, ctx.processLens(frame.data(), 4));
    EXPECT_EQ(buildLensRemap(64, 48, 4), ctx.lens.remap);
    EXPECT_EQ(static_cast<std::size_t>(48 * 48), ctx.lens.swirlMap.size());

    // The mirror builds nothing, but 1 -> 2 -> 1 builds the swirl again.
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));
    const int32_t* swirl = ctx.lens.swirlMap.data();
    ASSERT_EQ(1, ctx.processLens(frame.data(), 2));
    EXPECT_EQ(swirl, ctx.lens.swirlMap.data());
    EXPECT_EQ(2, ctx.lens.mode);
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));
    EXPECT_NE(swirl, ctx.lens.swirlMap.data());

    // A new size resets the mode, so the next call builds for that size.
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 32, 24));
    std::vector<uint8_t> small(32 * 24 * 3, 7);
    ASSERT_EQ(1, ctx.processLens(small.data(), 1));
    EXPECT_EQ(24, ctx.lens.swirlSize);
}

TEST(LensMirror, EvenWidthMirrorsAboutTheMiddleColumn) {
    const int w = 320, h = 240;
    const std::vector<uint8_t> original = photoFrame(false);
    std::vector<uint8_t> frame = original;
    mirrorLeftHalf(frame.data(), w, h);
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(0, std::memcmp(pixel(frame, w, y, 0), pixel(original, w, y, 0), 3 * w / 2));
        EXPECT_TRUE(samePixel(frame, original, w, y, w / 2, y, w / 2));
        EXPECT_TRUE(samePixel(frame, original, w, y, w - 1, y, 1));
        for (int k = w / 2 + 1; k < w; ++k)
            ASSERT_TRUE(samePixel(frame, original, w, y, k, y, w - k)) << y << "," << k;
    }
}

TEST(LensMirror, OddWidthsReadColumnsAsTheyAreAtThatMoment) {
    // Width 5: column 2 takes column 3, then column 3 takes the new column 2.
    std::vector<uint8_t> row(15);
    for (int i = 0; i < 15; ++i) row[i] = static_cast<uint8_t>(i / 3 + 10 * (i % 3));
    mirrorLeftHalf(row.data(), 5, 1);
    const int expected[5] = {0, 1, 3, 3, 1};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(expected[c], row[3 * c]) << c;

    // Width 1 has no column to take: the frame and the bytes after it stay.
    std::vector<uint8_t> column = {1, 2, 3, 4, 5, 6, 9, 9, 9};
    mirrorLeftHalf(column.data(), 1, 2);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 9, 9, 9}), column);
}

TEST(LensMirror, EveryWidthFollowsTheColumnWalk) {
    for (int w = 1; w <= 13; ++w) {
        const int h = 3;
        std::vector<uint8_t> frame(w * h * 3 + 3, 0xEE);
        for (int i = 0; i < w * h * 3; ++i) frame[i] = static_cast<uint8_t>(i * 37 + 5);
        std::vector<uint8_t> walked = frame;
        for (int y = 0; y < h && w > 1; ++y)
            for (int k = w / 2; k < w; ++k)
                std::memcpy(&walked[(y * w + k) * 3], &walked[(y * w + w - k) * 3], 3);
        mirrorLeftHalf(frame.data(), w, h);
        EXPECT_EQ(walked, frame) << "width " << w;
    }
}

// Whether square pixel (j, c) of a swirl of side n lies in the turned disc.
bool insideDisc(int j, int c, int n) {
    const double u = static_cast<double>(c) / n - 0.5, v = static_cast<double>(j) / n - 0.5;
    return std::sqrt(u * u + v * v) < 0.5;
}

TEST(LensSwirl, KeepsOutsideTheDiscAndTurnsTheCentreHalfATurn) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 320, 240));
    const std::vector<uint8_t> original = photoFrame(true);
    std::vector<uint8_t> frame = original;
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));

    const int n = 240, left = 40, half = 120;
    ASSERT_EQ(n, ctx.lens.swirlSize);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int c = x - left;
            if (c >= 0 && c < n && insideDisc(y, c, n)) continue;
            ASSERT_TRUE(samePixel(frame, original, 320, y, x, y, x)) << y << "," << x;
        }

    // Next to the centre each pixel shows the one opposite it, within the
    // truncation of the turned position.
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int32_t entry = ctx.lens.swirlMap[(half + dy) * n + half + dx];
            const int rowShift = static_cast<int>(std::lround(entry / 3.0 / 320.0));
            const int colShift = entry / 3 - rowShift * 320;
            EXPECT_NEAR(-2 * dy, rowShift, 1) << dx << "," << dy;
            EXPECT_NEAR(-2 * dx, colShift, 1) << dx << "," << dy;
            const int y = half + dy, x = left + half + dx;
            EXPECT_TRUE(samePixel(frame, original, 320, y, x, y + rowShift, x + colShift));
        }
}

TEST(LensSwirl, TallFramesTakeTheSmallerSideAndStayInside) {
    const int w = 48, h = 64;
    const SwirlMap map = buildSwirlMap(w, h);
    ASSERT_EQ(48, map.size);
    const int top = 8;
    for (int j = 0; j < map.size; ++j)
        for (int c = 0; c < map.size; ++c) {
            const int own = ((top + j) * w + c) * 3;
            const int src = own + map.offsets[j * map.size + c];
            ASSERT_TRUE(src >= 0 && src + 3 <= w * h * 3) << j << "," << c;
        }

    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, w, h));
    cv::Mat photo;
    cv::resize(test::loadPhoto("astronaut_320x240.png"), photo, cv::Size(w, h));
    const std::vector<uint8_t> original = test::toHostFrame(photo, true);
    std::vector<uint8_t> frame = original;
    ASSERT_EQ(1, ctx.processLens(frame.data(), 1));
    const std::size_t band = static_cast<std::size_t>(top) * w * 3;
    EXPECT_EQ(0, std::memcmp(frame.data(), original.data(), band));
    EXPECT_EQ(0, std::memcmp(frame.data() + frame.size() - band,
                             original.data() + original.size() - band, band));
    EXPECT_NE(original, frame);
}

// The distortion table written out from its definition.
std::vector<int32_t> expectedRemap(int width, int height, int mode) {
    std::vector<int32_t> map;
    const double hw = width / 2, hh = height / 2;
    for (int j = 0; j < height; ++j)
        for (int k = 0; k < width; ++k) {
            double x = k / hw - 1, y = j / hh - 1;
            const double r = std::sqrt(x * x + y * y), theta = std::atan2(y, x);
            double rr = r;
            switch (mode) {
                case 3: rr = 0.5 * std::sqrt(r) * std::exp(0.5 * r); break;
                case 4: rr = r * r; break;
                case 5: rr = 0.25 * r * std::exp(std::sqrt(r)); break;
                case 7: rr = r * (1 + std::exp(-4 * r * r)); break;
            }
            if (mode == 6) {
                x = x * std::abs(x);
                y = y * std::abs(y);
            } else {
                x = rr * std::cos(theta);
                y = rr * std::sin(theta);
            }
            const int col = static_cast<int>((x + 1) * hw), row = static_cast<int>((y + 1) * hh);
            map.push_back(
                col >= 0 && col < width && row >= 0 && row < height ? (row * width + col) * 3 : -1);
        }
    return map;
}

TEST(LensDistortion, TablesMatchTheirDefinition) {
    for (int mode = 3; mode <= 7; ++mode)
        for (auto [w, h] : {std::pair{320, 240}, {33, 17}, {2, 2}})
            EXPECT_EQ(expectedRemap(w, h, mode), buildLensRemap(w, h, mode))
                << "mode " << mode << " " << w << "x" << h;

    // The centre stays; mode 4 fetches the corners from outside the frame;
    // mode 6 keeps the middle row and column on their axis.
    const std::vector<int32_t> square = buildLensRemap(320, 240, 4);
    EXPECT_EQ((120 * 320 + 160) * 3, square[120 * 320 + 160]);
    EXPECT_EQ(kKeepPixel, square[0]);
    EXPECT_EQ(kKeepPixel, square[239 * 320 + 319]);
    const std::vector<int32_t> axes = buildLensRemap(320, 240, 6);
    for (int j = 0; j < 240; j += 7) EXPECT_EQ(160, axes[j * 320 + 160] / 3 % 320) << j;
    for (int k = 0; k < 320; k += 7) EXPECT_EQ(120, axes[120 * 320 + k] / 3 / 320) << k;
    EXPECT_EQ(0.25, distortPoint(0.0, 0.5, 6).y);
    EXPECT_EQ(0.0, distortPoint(0.0, 0.5, 6).x);

    // A single column or row has a zero half-size: nothing to fetch.
    for (int32_t e : buildLensRemap(1, 5, 3)) EXPECT_EQ(kKeepPixel, e);
}

TEST(LensDistortion, FrameIsRemappedThenBlurredTheSameWayUpInEitherRowOrder) {
    for (bool bottomUp : {true, false}) {
        Session ctx;
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 320, bottomUp ? 240 : -240));
        for (int mode = 3; mode <= 7; ++mode) {
            std::vector<uint8_t> frame = photoFrame(bottomUp);
            ASSERT_EQ(1, ctx.processLens(frame.data(), mode));

            // The table walks a bottom-first buffer, then the picture is
            // blurred; a top-first host gets the same picture.
            const std::vector<uint8_t> original = photoFrame(true);
            const std::vector<int32_t> map = expectedRemap(320, 240, mode);
            std::vector<uint8_t> expected = original;
            for (std::size_t i = 0; i < map.size(); ++i)
                if (map[i] != -1) std::memcpy(&expected[i * 3], &original[map[i]], 3);
            cv::Mat picture(240, 320, CV_8UC3, expected.data());
            cv::flip(picture, picture, 0);
            cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
            if (bottomUp) cv::flip(picture, picture, 0);
            ASSERT_EQ(expected, frame) << "mode " << mode << (bottomUp ? " bottom-up" : "");
        }
    }
}

// Lowers the address-space limit so that allocations beyond `headroom`
// bytes fail, for as long as it lives.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t headroom) {
        getrlimit(RLIMIT_AS, &saved_);
        std::ifstream statm("/proc/self/statm");
        std::size_t pages = 0;
        statm >> pages;
        rlimit tight = saved_;
        tight.rlim_cur = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom;
        setrlimit(RLIMIT_AS, &tight);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }

private:
    rlimit saved_{};
};

TEST(LensTables, OutOfMemoryRefusesAndTheNextCallBuilds) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory cannot live under an address-space limit";
#endif
    const int w = 1600, h = 1200;
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, w, h));
    std::vector<uint8_t> frame(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> original = frame;
    ASSERT_EQ(1, ctx.processLens(frame.data(), 2));
    frame = original;

    for (int mode : {1, 5}) {
        {
            AddressSpaceLimit limit(1 << 20);
            EXPECT_EQ(QX_LENS_NOT_READY, ctx.processLens(frame.data(), mode)) << mode;
        }
        EXPECT_EQ(2, ctx.lens.mode);
        EXPECT_EQ(original, frame);
    }
    EXPECT_EQ(1, ctx.processLens(frame.data(), 5));
    EXPECT_EQ(5, ctx.lens.mode);
    EXPECT_EQ(buildLensRemap(w, h, 5), ctx.lens.remap);
}

}  // namespace
}  // namespace quexal
