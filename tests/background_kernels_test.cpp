// The fused row loops of the segmentation against the OpenCV steps they
// replace, byte for byte: on photos, noise and flat scenes, at odd sizes.
#include <gtest/gtest.h>

#include <vector>

#include <opencv2/imgproc.hpp>

#include "background/row_kernels.h"
#include "background/segmentation.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

using namespace bkg;

const std::vector<cv::Size> kOddSizes = {{1, 1}, {2, 3}, {5, 4}, {7, 13}, {61, 37}, {317, 239}};

cv::Mat noise(cv::Size size, int seed) {
    cv::Mat m(size, CV_8UC3);
    cv::RNG(seed).fill(m, cv::RNG::UNIFORM, 0, 256);
    return m;
}

cv::Mat stockBlur(const cv::Mat& src) {
    cv::Mat out;
    cv::blur(src, out, cv::Size(kFrameBlurSize, kFrameBlurSize), cv::Point(-1, -1),
             cv::BORDER_REPLICATE);
    return out;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// The comparisons as whole-image steps: absolute difference, grey,
// threshold, for the frame, the frame + 12 and then - 24; their union.
cv::Mat stockUnion(cv::Mat blurred, const cv::Mat& plain, const cv::Mat& bright,
                   const cv::Mat& dark) {
    cv::Mat difference, mask, all;
    auto compare = [&](const cv::Mat& reference) {
        cv::absdiff(reference, blurred, difference);
        cv::cvtColor(difference, mask, cv::COLOR_BGR2GRAY);
        cv::threshold(mask, mask, kDifferenceThreshold, 255, cv::THRESH_BINARY);
        all = all.empty() ? mask.clone() : all + mask;
    };
    compare(plain);
    cv::add(blurred, cv::Scalar::all(kSecondComparisonShift), blurred);
    compare(bright);
    cv::add(blurred, cv::Scalar::all(kThirdComparisonShift), blurred);
    compare(dark);
    return all;
}

cv::Mat fusedBlur(const cv::Mat& src) {
    cv::Mat out(src.size(), CV_8UC3);
    boxBlur5(src, out);
    return out;
}

cv::Mat fusedUnion(const cv::Mat& blurred, const cv::Mat& plain, const cv::Mat& bright,
                   const cv::Mat& dark) {
    cv::Mat out(blurred.size(), CV_8UC1);
    differenceUnion(blurred, plain, bright, dark, out);
    return out;
}

TEST(BoxBlur5, MatchesTheStockBlurForEveryWindowSumAndAtOddSizes) {
    // One 5 x 5 block per window sum 0..25 * 255, each centre seeing exactly
    // its own block.
    constexpr int kSums = 25 * 255 + 1;
    cv::Mat blocks(5, 5 * kSums, CV_8UC3);
    for (int s = 0; s < kSums; ++s)
        for (int j = 0; j < 25; ++j)
            blocks.at<cv::Vec3b>(j / 5, 5 * s + j % 5) = cv::Vec3b::all(s / 25 + (j < s % 25));
    EXPECT_TRUE(same(stockBlur(blocks), fusedBlur(blocks)));

    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    EXPECT_TRUE(same(stockBlur(photo), fusedBlur(photo)));
    for (const cv::Size& size : kOddSizes) {
        const cv::Mat n = noise(size, size.area());
        EXPECT_TRUE(same(stockBlur(n), fusedBlur(n))) << size;
    }
}

TEST(DifferenceUnion, MatchesTheThreeStockComparisons) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    cv::Mat shifted;
    photo.convertTo(shifted, CV_8UC3, 0.9, 14);
    for (const cv::Mat& reference : {photo, shifted, noise(photo.size(), 3)}) {
        cv::Mat bright, dark;
        cv::add(reference, cv::Scalar::all(kReferenceShift), bright);
        cv::subtract(reference, cv::Scalar::all(kReferenceShift), dark);
        const cv::Mat frame = stockBlur(photo);
        EXPECT_TRUE(same(stockUnion(frame, reference, bright, dark),
                         fusedUnion(frame, reference, bright, dark)));
    }
    // Unrelated references and frames cover every pair of levels.
    for (const cv::Size& size : kOddSizes) {
        const cv::Mat f = noise(size, 1), a = noise(size, 2), b = noise(size, 3),
                      c = noise(size, 4);
        EXPECT_TRUE(same(stockUnion(f, a, b, c), fusedUnion(f, a, b, c))) << size;
    }
}

// The whole segmentation as whole-image OpenCV steps, as it was before the
// fused loops: the matte and the filled area.
double stockSegment(const cv::Mat& frame, const cv::Mat& snapshot, cv::Mat& matte) {
    const cv::Mat reference = stockBlur(snapshot);
    cv::Mat bright, dark;
    cv::add(reference, cv::Scalar::all(kReferenceShift), bright);
    cv::subtract(reference, cv::Scalar::all(kReferenceShift), dark);
    cv::Mat grown = stockUnion(stockBlur(frame), reference, bright, dark);
    cv::dilate(grown, grown, cv::Mat());
    cv::blur(grown, grown, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    matte.create(frame.size(), CV_8UC1);
    drawLargeOutlines(grown, matte);
    const double area = fillFromTopCorners(matte);
    makeMatte(matte);
    return area;
}

TEST(Segmentation, MatteIsTheStockPipelinesOnPhotosAndSyntheticScenes) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    struct Case {
        cv::Mat snapshot, frame;
    };
    std::vector<Case> cases;
    cv::Mat flipped;
    cv::flip(photo, flipped, 1);
    cases.push_back({photo, flipped});
    cv::Mat scene = photo.clone();
    cv::rectangle(scene, cv::Rect(60, 90, 190, 150), cv::Scalar(30, 200, 90), cv::FILLED);
    cases.push_back({photo, scene});
    for (const cv::Size& size : {cv::Size(333, 251), cv::Size(641, 479)}) {
        cv::Mat snapshot, frame;
        cv::resize(photo, snapshot, size);
        frame = snapshot.clone();
        cv::ellipse(frame, {size.width / 2, size.height}, {size.width / 4, size.height * 3 / 4}, 0,
                    0, 360, cv::Scalar(200, 40, 40), cv::FILLED);
        cases.push_back({snapshot, frame});
    }
    for (const Case& c : cases) {
        const cv::Size size = c.frame.size();
        Session ctx;
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, size.width, -size.height));
        ASSERT_EQ(1, ctx.getBkgSnapshot(c.snapshot.data, size.width, size.height));
        c.frame.copyTo(ctx.background.image);
        const double area = ctx.background.segment(0);
        cv::Mat expected;
        EXPECT_EQ(stockSegment(c.frame, c.snapshot, expected), area) << size;
        EXPECT_TRUE(same(expected, ctx.background.mask)) << size;
    }
}

}  // namespace
}  // namespace quexal
