// Drawing the mask picture and obscuring the eye band, on buffers and on the
// committed portrait.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "mask/mask_rendering.h"
#include "mask/turn.h"
#include "test_support.h"

namespace quexal {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A packed BGRA picture with every pixel set to one value.
std::vector<uint8_t> solidPicture(int w, int h, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    std::vector<uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t i = 0; i < p.size(); i += 4) {
        p[i] = b;
        p[i + 1] = g;
        p[i + 2] = r;
        p[i + 3] = a;
    }
    return p;
}

// An opaque picture whose pixel (c, r) is (c, r, 7) so that every landing
// position can be traced back.
std::vector<uint8_t> tracedPicture(int w, int h) {
    std::vector<uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            uint8_t* px = &p[(static_cast<std::size_t>(r) * w + c) * 4];
            px[0] = static_cast<uint8_t>(c);
            px[1] = static_cast<uint8_t>(r);
            px[2] = 7;
            px[3] = 255;
        }
    return p;
}

cv::Mat portrait() {
    return test::loadPhoto("astronaut_320x240.png");
}

// One pixel of picture over one pixel of frame; the picture lands on frame
// row top - 1, so top is 1.
cv::Vec3b blendOne(cv::Vec3b picture, uint8_t alpha, cv::Vec3b frame) {
    const uint8_t pic[4] = {picture[0], picture[1], picture[2], alpha};
    drawMask(pic, frame.val, 1, 1, 0, 1, 1, 1, 0.0f, 1, 1);
    return frame;
}

TEST(DrawMask, BlendTruncatesTowardZero) {
    const cv::Vec3b white(255, 255, 255), black(0, 0, 0);
    EXPECT_EQ(black, blendOne(black, 254, white));  // 255 * beta is just below 1
    EXPECT_EQ(cv::Vec3b(126, 126, 126), blendOne(black, 128, white));
    EXPECT_EQ(cv::Vec3b(128, 128, 128), blendOne(white, 128, black));
    EXPECT_EQ(cv::Vec3b(254, 254, 254), blendOne(black, 1, white));
    EXPECT_EQ(cv::Vec3b(10, 20, 30), blendOne(cv::Vec3b(10, 20, 30), 255, white));
    // Channels are blended each from its own byte.
    EXPECT_EQ(cv::Vec3b(255, 0, 126), blendOne(cv::Vec3b(255, 0, 0), 128, cv::Vec3b(255, 0, 255)));
}

TEST(DrawMask, TransparentPictureLeavesThePhotoByteIdentical) {
    cv::Mat frame = portrait();
    const cv::Mat before = frame.clone();
    const std::vector<uint8_t> picture = solidPicture(200, 190, 1, 2, 3, 0);
    drawMask(picture.data(), frame.data, 200, 190, 60, 30, 200, 189, 0.3f, frame.cols, frame.rows);
    EXPECT_EQ(0, cv::norm(frame, before, cv::NORM_INF));
}

TEST(DrawMask, HalfTransparentPictureBlendsEveryCoveredPixel) {
    cv::Mat frame = portrait();
    const cv::Mat before = frame.clone();
    const std::vector<uint8_t> picture = solidPicture(40, 30, 200, 100, 0, 77);
    drawMask(picture.data(), frame.data, 40, 30, 50, 20, 0, 0, 0.0f, frame.cols, frame.rows);
    const float alpha = static_cast<float>(77 / 255.0);
    const float beta = static_cast<float>(1.0 - alpha);
    const uint8_t pic[3] = {200, 100, 0};
    for (int y = 0; y < frame.rows; ++y)
        for (int x = 0; x < frame.cols; ++x) {
            const bool covered = x >= 50 && x < 90 && y >= 19 && y < 49;
            for (int ch = 0; ch < 3; ++ch) {
                const uint8_t f = before.at<cv::Vec3b>(y, x)[ch];
                const uint8_t want =
                    covered ? static_cast<uint8_t>(pic[ch] * static_cast<double>(alpha) +
                                                   f * static_cast<double>(beta))
                            : f;
                ASSERT_EQ(want, frame.at<cv::Vec3b>(y, x)[ch]) << x << "," << y << " ch " << ch;
            }
        }
}

// The vector blocks (opaque copied, clear skipped, any other alpha left to
// the per-pixel blend) against the portable code: runs of every kind,
// blocks cut by the frame's edges, widths that are not whole blocks.
TEST(DrawMask, BlockBlendEqualsThePixelBlend) {
    cv::RNG rng(11);
    const cv::Mat photo = portrait();
    for (int trial = 0; trial < 60; ++trial) {
        const int cols = rng.uniform(1, 90), rows = rng.uniform(1, 20);
        cv::Mat source(rows, cols, CV_8UC4);
        rng.fill(source, cv::RNG::UNIFORM, 0, 256);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols;) {  // runs of one alpha kind, 1 to 20 pixels
                const int kind = rng.uniform(0, 4), end = std::min(cols, c + rng.uniform(1, 21));
                for (; c < end; ++c) {
                    uint8_t& a = source.at<cv::Vec4b>(r, c)[3];
                    a = kind == 0 ? 0 : kind == 1 ? 255 : kind == 2 ? a : (c % 2 ? 0 : 255);
                }
            }
        const int left = rng.uniform(-40, 300), top = rng.uniform(-10, 230);
        cv::Mat vector = photo.clone(), portable = photo.clone();
        detail::blendPicture(source.data, cols, rows,
                             {vector.data, photo.cols, photo.rows, left, top, true});
        detail::blendPicture(source.data, cols, rows,
                             {portable.data, photo.cols, photo.rows, left, top, false});
        ASSERT_EQ(0, cv::norm(vector, portable, cv::NORM_INF)) << "trial " << trial;
    }
}

TEST(DrawMask, FirstSourceRowLandsOneRowAboveTop) {
    // 200 x 189 is the picture's own size, so nothing is resampled and every
    // pixel is traceable: with top -54, rows 0..54 fall above the frame.
    const std::vector<uint8_t> picture = tracedPicture(200, 189);
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(9, 9, 9));
    drawMask(picture.data(), frame.data, 200, 189, 60, -54, 200, 189, 0.0f, 320, 240);
    EXPECT_EQ(cv::Vec3b(0, 55, 7), frame.at<cv::Vec3b>(0, 60));
    EXPECT_EQ(cv::Vec3b(199, 55, 7), frame.at<cv::Vec3b>(0, 259));
    EXPECT_EQ(cv::Vec3b(0, 188, 7), frame.at<cv::Vec3b>(133, 60));
    EXPECT_EQ(cv::Vec3b(9, 9, 9), frame.at<cv::Vec3b>(134, 60));
    EXPECT_EQ(cv::Vec3b(9, 9, 9), frame.at<cv::Vec3b>(0, 59));
    EXPECT_EQ(cv::Vec3b(9, 9, 9), frame.at<cv::Vec3b>(0, 260));
}

TEST(DrawMask, ZeroOverlaySizeDrawsThePictureAtItsOwnSize) {
    const std::vector<uint8_t> picture = tracedPicture(30, 20);
    for (auto [w, h] : {std::pair{0, 0}, {0, 50}, {50, 0}}) {
        cv::Mat frame(60, 60, CV_8UC3, cv::Scalar(9, 9, 9));
        drawMask(picture.data(), frame.data, 30, 20, 5, 6, w, h, 0.0f, 60, 60);
        EXPECT_EQ(cv::Vec3b(0, 0, 7), frame.at<cv::Vec3b>(5, 5));
        EXPECT_EQ(cv::Vec3b(29, 19, 7), frame.at<cv::Vec3b>(24, 34));
        EXPECT_EQ(cv::Vec3b(9, 9, 9), frame.at<cv::Vec3b>(25, 35));
    }
}

TEST(DrawMask, ResamplesToTheOverlaySizeByArea) {
    const std::vector<uint8_t> picture = tracedPicture(200, 190);
    cv::Mat frame(300, 300, CV_8UC3, cv::Scalar(9, 9, 9));
    drawMask(picture.data(), frame.data, 200, 190, 0, 1, 100, 95, 0.0f, 300, 300);
    // Halving by area averages 2 x 2 blocks: column 2c, 2c + 1 -> c + 0.5 rounds to even.
    cv::Mat expected;
    cv::resize(cv::Mat(190, 200, CV_8UC4, const_cast<uint8_t*>(picture.data())), expected,
               cv::Size(100, 95), 0, 0, cv::INTER_AREA);
    for (int r = 0; r < 95; r += 13)
        for (int c = 0; c < 100; c += 11) {
            const cv::Vec4b s = expected.at<cv::Vec4b>(r, c);
            EXPECT_EQ(cv::Vec3b(s[0], s[1], s[2]), frame.at<cv::Vec3b>(r, c));
        }
    EXPECT_EQ(cv::Vec3b(9, 9, 9), frame.at<cv::Vec3b>(95, 0));
    EXPECT_EQ(cv::Vec3b(9, 9, 9), frame.at<cv::Vec3b>(0, 100));
}

TEST(DrawMask, OverhangingPictureIsCutAtEveryBorder) {
    const int w = 24, h = 16;
    const std::vector<uint8_t> picture = tracedPicture(w, h);
    // Corners: top-left, top-right, bottom-left, bottom-right, and one larger
    // than the whole frame.
    const struct {
        int left, top, pw, ph;
    } cases[] = {{-5, -3, w, h}, {30, -7, w, h}, {-10, 35, w, h}, {28, 33, w, h}, {-3, -2, w, h}};
    for (const auto& c : cases) {
        cv::Mat frame(40, 40, CV_8UC3, cv::Scalar(9, 9, 9));
        drawMask(picture.data(), frame.data, w, h, c.left, c.top, 0, 0, 0.0f, 40, 40);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const int sc = x - c.left, sr = y - (c.top - 1);
                const bool covered = sc >= 0 && sc < w && sr >= 0 && sr < h;
                const cv::Vec3b want = covered ? cv::Vec3b(sc, sr, 7) : cv::Vec3b(9, 9, 9);
                ASSERT_EQ(want, frame.at<cv::Vec3b>(y, x))
                    << "left " << c.left << " top " << c.top << " at " << x << "," << y;
            }
    }
    // Larger than the frame: every frame pixel is covered, first and last
    // rows and columns included.
    std::vector<uint8_t> big = solidPicture(60, 60, 1, 2, 3, 255);
    cv::Mat frame(40, 40, CV_8UC3, cv::Scalar(9, 9, 9));
    drawMask(big.data(), frame.data, 60, 60, -10, -9, 0, 0, 0.0f, 40, 40);
    EXPECT_EQ(0, cv::norm(frame, cv::Mat(40, 40, CV_8UC3, cv::Scalar(1, 2, 3)), cv::NORM_INF));
}

TEST(DrawMask, RefusesWhatItCannotDraw) {
    const std::vector<uint8_t> picture = solidPicture(10, 10, 1, 2, 3, 255);
    cv::Mat frame(20, 20, CV_8UC3, cv::Scalar(9, 9, 9));
    const cv::Mat before = frame.clone();
    drawMask(nullptr, frame.data, 10, 10, 0, 0, 10, 10, 0.0f, 20, 20);
    drawMask(picture.data(), nullptr, 10, 10, 0, 0, 10, 10, 0.0f, 20, 20);
    drawMask(picture.data(), frame.data, 0, 10, 0, 0, 10, 10, 0.0f, 20, 20);
    drawMask(picture.data(), frame.data, 10, 0, 0, 0, 10, 10, 0.0f, 20, 20);
    drawMask(picture.data(), frame.data, 10, 10, 0, 0, 10, 10, 0.0f, 0, 20);
    drawMask(picture.data(), frame.data, 10, 10, 0, 0, 10, 10, 0.0f, 20, 0);
    drawMask(picture.data(), frame.data, 10, 10, 0, 0, -5, 10, 0.0f, 20, 20);
    drawMask(picture.data(), frame.data, 10, 10, 5000, 5000, 10, 10, 0.0f, 20, 20);
    drawMask(picture.data(), frame.data, 10, 10, -5000, 5, 10, 10, 0.7f, 20, 20);
    EXPECT_EQ(0, cv::norm(frame, before, cv::NORM_INF));
}

TEST(RotateMask, CanvasSideFollowsTheFloatRule) {
    EXPECT_EQ(218, rotatedCanvasSide(200, 0.1f));
    EXPECT_EQ(271, rotatedCanvasSide(200, 0.5f));
    EXPECT_EQ(282, rotatedCanvasSide(200, static_cast<float>(kPi / 4)));
    EXPECT_EQ(258, rotatedCanvasSide(200, 1.2f));
    EXPECT_EQ(200, rotatedCanvasSide(200, static_cast<float>(kPi / 2)));
    EXPECT_EQ(218, rotatedCanvasSide(200, -0.1f));  // only the size of the tilt counts
    EXPECT_EQ(200, rotatedCanvasSide(200, 1e-7f));  // never narrower than the picture
}

TEST(RotateMask, TurnsCounterClockwiseOnScreenWithTransparentCorners) {
    // A bar along the right half of the middle row of an otherwise
    // transparent square: a quarter turn counter-clockwise (rows top-down)
    // stands it up along the top half of the middle column.
    const int w = 101;
    std::vector<uint8_t> picture = solidPicture(w, w, 0, 0, 0, 0);
    for (int c = 60; c < 95; ++c) {
        uint8_t* px = &picture[(50 * w + c) * 4];
        px[2] = 255;
        px[3] = 255;
    }
    cv::Mat turned;
    const int g = rotateMask(picture.data(), w, w, static_cast<float>(kPi / 2), turned);
    ASSERT_EQ(w, g);
    ASSERT_EQ(cv::Size(g, g), turned.size());
    EXPECT_GT(turned.at<cv::Vec4b>(25, 50)[3], 200);  // above the centre
    EXPECT_EQ(0, turned.at<cv::Vec4b>(75, 50)[3]);    // not below it
    EXPECT_EQ(0, turned.at<cv::Vec4b>(50, 75)[3]);    // nor where it was

    // A fully opaque picture turned by 0.5: the canvas corners stay clear.
    const std::vector<uint8_t> opaque = solidPicture(200, 189, 5, 6, 7, 255);
    const int side = rotateMask(opaque.data(), 200, 189, 0.5f, turned);
    ASSERT_EQ(271, side);
    for (cv::Point corner : {cv::Point(0, 0), cv::Point(side - 1, 0), cv::Point(0, side - 1),
                             cv::Point(side - 1, side - 1)})
        EXPECT_EQ(cv::Vec4b(0, 0, 0, 0), turned.at<cv::Vec4b>(corner));
    EXPECT_EQ(cv::Vec4b(5, 6, 7, 255), turned.at<cv::Vec4b>(side / 2, side / 2));
}

// The turn gives warpAffine's bytes for the canvas it stands for: random
// and opaque pictures and the portrait, odd and one-pixel sizes, spare
// canvas around them, angles from none and a hair to half turns, through
// the vector blocks and the portable code alike.
TEST(RotateMask, TurnEqualsWarpAffineOfTheCanvas) {
    cv::Mat photo;
    cv::cvtColor(test::loadPhoto("astronaut_320x240.png"), photo, cv::COLOR_BGR2BGRA);
    cv::RNG rng(11);
    for (int i = 0; i < 120; ++i) {
        cv::Mat picture;
        if (i % 3 == 0) {
            picture = photo(cv::Rect(rng.uniform(0, 100), rng.uniform(0, 80), rng.uniform(1, 220),
                                     rng.uniform(1, 160)))
                          .clone();
        } else {
            picture.create(rng.uniform(1, 300), rng.uniform(1, 300), CV_8UC4);
            rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
            if (i % 3 == 1) picture.setTo(cv::Scalar(10, 200, 30, 255));
        }
        const float angle = i < 8 ? static_cast<float>(i * kPi / 4)
                                  : static_cast<float>(i % 5 == 0 ? rng.uniform(-0.02, 0.02)
                                                                  : rng.uniform(-3.2, 3.2));
        const int side = std::max(picture.cols, picture.rows) + rng.uniform(0, 120);
        const cv::Point at((side - picture.cols) / 2, (side - picture.rows) / 2);
        cv::Mat canvas(side, side, CV_8UC4, cv::Scalar::all(0)), expected;
        picture.copyTo(canvas(cv::Rect(at, picture.size())));
        const float centre = static_cast<float>(side / 2);
        const cv::Matx23f turn =
            cv::getRotationMatrix2D_(cv::Point2f(centre, centre), angle * 180.0 / kPi, 1.0);
        cv::warpAffine(canvas, expected, turn, canvas.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                       cv::Scalar::all(0));
        for (bool vectorRows : {true, false}) {
            cv::Mat turned;
            turnPicture(picture.data, picture.cols, picture.rows, at, turn, side, turned,
                        vectorRows);
            ASSERT_EQ(0, cv::norm(expected, turned, cv::NORM_INF))
                << picture.size() << " in " << side << " by " << angle
                << (vectorRows ? "" : " (portable)");
        }
    }
}

TEST(RotateMask, TallPictureStaysInsideItsCanvas) {
    const std::vector<uint8_t> tall = solidPicture(20, 60, 1, 2, 3, 255);
    cv::Mat turned;
    const int g = rotateMask(tall.data(), 20, 60, 0.1f, turned);
    EXPECT_GE(g, 60);
    EXPECT_EQ(cv::Vec4b(1, 2, 3, 255), turned.at<cv::Vec4b>(g / 2, g / 2));
}

TEST(DrawMask, TurnedOverlayIsDrawnFromAWiderCanvasAboutTheSameCentre) {
    // 200 x 189 turned by 0.1 is drawn from a 218 x 218 canvas whose corner
    // lies 9 columns left of and 14 rows above the corner given.
    cv::Mat photo = portrait();
    const std::vector<uint8_t> picture = tracedPicture(200, 189);
    cv::Mat drawn = photo.clone();
    drawMask(picture.data(), drawn.data, 200, 189, 60, 40, 200, 189, 0.1f, 320, 240);

    cv::Mat turned;
    ASSERT_EQ(218, rotateMask(picture.data(), 200, 189, 0.1f, turned));
    cv::Mat byHand = photo.clone();
    drawMask(turned.data, byHand.data, 218, 218, 60 - 9, 40 - 14, 0, 0, 0.0f, 320, 240);
    EXPECT_EQ(0, cv::norm(drawn, byHand, cv::NORM_INF));
    EXPECT_GT(cv::norm(drawn, photo, cv::NORM_INF), 0);
}

TEST(DrawMask, ReusedScratchGivesTheSameBytesAsAFreshOne) {
    // Each step changes one thing the kept resample or turn depends on: the
    // size, the angle, the picture's bytes in place, and the turn of a
    // picture drawn at its own size.
    const cv::Mat photo = portrait();
    std::vector<uint8_t> picture = tracedPicture(200, 190);
    struct Draw {
        int width, height;
        float angle;
        bool repaint;
    };
    const Draw draws[] = {{150, 142, -0.4f, false}, {150, 142, -0.4f, false},
                          {180, 170, -0.4f, false}, {180, 170, 0.2f, false},
                          {180, 170, 0.2f, true},   {180, 170, 0.0f, false},
                          {200, 190, 0.2f, false},  {180, 170, 0.2f, false}};
    MaskScratch scratch;
    for (const Draw& d : draws) {
        if (d.repaint)
            for (std::size_t i = 0; i < picture.size(); i += 4) picture[i + 2] ^= 0x55;
        cv::Mat kept = photo.clone(), fresh = photo.clone();
        drawMask(picture.data(), kept.data, 200, 190, 40, 30, d.width, d.height, d.angle, 320, 240,
                 scratch);
        drawMask(picture.data(), fresh.data, 200, 190, 40, 30, d.width, d.height, d.angle, 320,
                 240);
        ASSERT_EQ(0, cv::norm(kept, fresh, cv::NORM_INF))
            << d.width << "x" << d.height << " at " << d.angle << (d.repaint ? " repainted" : "");
    }
}

// Mean of each n x n block, rounded down, per channel.
cv::Vec3b blockMean(const cv::Mat& image, int x0, int y0, int n) {
    unsigned sum[3] = {0, 0, 0};
    for (int y = y0; y < y0 + n; ++y)
        for (int x = x0; x < x0 + n; ++x)
            for (int ch = 0; ch < 3; ++ch) sum[ch] += image.at<cv::Vec3b>(y, x)[ch];
    const unsigned area = static_cast<unsigned>(n * n);
    return cv::Vec3b(sum[0] / area, sum[1] / area, sum[2] / area);
}

TEST(PixelateBlocks, MeansAreRoundedDown) {
    cv::Mat block(8, 8, CV_8UC3, cv::Scalar(128, 0, 255));
    block.at<cv::Vec3b>(3, 5)[0] = 127;  // 63 * 128 + 127 = 8191
    pixelateBlocks(block, 8);
    EXPECT_EQ(0, cv::norm(block, cv::Mat(8, 8, CV_8UC3, cv::Scalar(127, 0, 255)), cv::NORM_INF));
}

TEST(PixelateBlocks, PartialEdgeBlocksAreLeftAlone) {
    const cv::Mat photo = portrait()(cv::Rect(100, 50, 20, 13)).clone();
    cv::Mat image = photo.clone();
    pixelateBlocks(image, 8);
    EXPECT_EQ(blockMean(photo, 8, 0, 8), image.at<cv::Vec3b>(7, 15));
    EXPECT_EQ(0, cv::norm(image.colRange(16, 20), photo.colRange(16, 20), cv::NORM_INF));
    EXPECT_EQ(0, cv::norm(image.rowRange(8, 13), photo.rowRange(8, 13), cv::NORM_INF));
}

TEST(ObscureRegion, PixelateAlignsTopAndCutsToWholeBlocks) {
    // Top 13 starts at row 12; 67 x 30 is cut to 64 x 24; left stays 10.
    const cv::Mat photo = portrait();
    cv::Mat image = photo.clone();
    obscureRegion(image, 1, 8, 10, 13, 67, 30, 320, 240);
    const cv::Rect done(10, 12, 64, 24);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            cv::Vec3b want = photo.at<cv::Vec3b>(y, x);
            if (done.contains({x, y}))
                want = blockMean(photo, 10 + (x - 10) / 8 * 8, 12 + (y - 12) / 8 * 8, 8);
            ASSERT_EQ(want, image.at<cv::Vec3b>(y, x)) << x << "," << y;
        }
}

TEST(ObscureRegion, PixelateStrengthLosesItsRemainderModuloFour) {
    const cv::Mat photo = portrait();
    cv::Mat a = photo.clone(), b = photo.clone();
    obscureRegion(a, 1, 11, 40, 40, 80, 48, 320, 240);
    obscureRegion(b, 1, 8, 40, 40, 80, 48, 320, 240);
    EXPECT_EQ(0, cv::norm(a, b, cv::NORM_INF));
}

TEST(ObscureRegion, BlurUsesAnOddBoxReplicatedAtTheRegionEdge) {
    const cv::Mat photo = portrait();
    const cv::Rect band(105, 103, 110, 46);
    for (auto [strength, box] : {std::pair{8, 9}, {15, 15}}) {
        cv::Mat image = photo.clone();
        obscureRegion(image, 2, strength, band.x, band.y, band.width, band.height, 320, 240);
        // The region is blurred on its own: pixels outside it do not bleed in.
        cv::Mat expected = photo.clone(), region = photo(band).clone();
        cv::blur(region, region, cv::Size(box, box), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        region.copyTo(expected(band));
        EXPECT_EQ(0, cv::norm(image, expected, cv::NORM_INF)) << "strength " << strength;
    }
}

TEST(ObscureRegion, RectangleNotWhollyInsideChangesNothing) {
    const cv::Mat photo = portrait();
    const struct {
        int mode, strength, left, top, width, height;
    } refused[] = {
        {1, 8, 280, 100, 48, 24},  // right overhang by 8
        {2, 15, 0, 220, 50, 21},   // bottom overhang by 1
        {2, 15, -1, 10, 50, 20},   // negative left
        {1, 8, 10, -4, 48, 24},    // negative top
        {2, 3, 10, 10, 50, 20},    // strength below 4
        {1, -8, 10, 10, 48, 24},   // negative strength
        {3, 8, 10, 10, 48, 24},    // no such mode
        {1, 8, 10, 10, 7, 24},     // narrower than one block
        {2, 15, 10, 10, 0, 20},    // no width
    };
    for (const auto& r : refused) {
        cv::Mat image = photo.clone();
        obscureRegion(image, r.mode, r.strength, r.left, r.top, r.width, r.height, 320, 240);
        EXPECT_EQ(0, cv::norm(image, photo, cv::NORM_INF))
            << r.mode << " " << r.strength << " " << r.left << "," << r.top;
    }
    // Exactly reaching the right and bottom edges is worked on.
    cv::Mat image = photo.clone();
    obscureRegion(image, 2, 15, 270, 220, 50, 20, 320, 240);
    EXPECT_GT(cv::norm(image, photo, cv::NORM_INF), 0);
    // A size handed in that is larger than the image itself is not trusted.
    cv::Mat small = photo(cv::Rect(0, 0, 64, 48)).clone();
    const cv::Mat smallBefore = small.clone();
    obscureRegion(small, 1, 8, 32, 0, 64, 48, 320, 240);
    EXPECT_EQ(0, cv::norm(small, smallBefore, cv::NORM_INF));
}

}  // namespace
}  // namespace quexal
