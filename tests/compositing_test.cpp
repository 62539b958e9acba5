// The pure pieces of background replacement: edge tables, the compositing
// rule, the layer blend, outlines, barrier and fill.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include <opencv2/imgproc/imgproc_c.h>
#include <opencv2/imgproc.hpp>

#include "background/compositing.h"
#include "background/segmentation.h"

namespace quexal::bkg {
namespace {

TEST(EdgeTable, FeatherWeightsAndHaloAlphasFollowTheirCurves) {
    const EdgeTable& t = edgeTable();
    EXPECT_FLOAT_EQ(0.9848077297f, t.cameraWeight[1]);
    EXPECT_FLOAT_EQ(0.0151922703f, t.backgroundWeight[1]);
    EXPECT_LT(t.cameraWeight[9], 1e-16f);  // cos(pi / 2) in floating point
    EXPECT_EQ(1.0f, t.backgroundWeight[9]);
    EXPECT_EQ(0.0f, t.cameraWeight[10]);
    EXPECT_EQ(26, t.haloAlpha[1]);
    EXPECT_EQ(255, t.haloAlpha[15]);
    EXPECT_EQ(26, t.haloAlpha[29]);
    EXPECT_EQ(0, t.haloAlpha[30]);  // sin(pi) is a hair below 0
    EXPECT_EQ(0, t.haloAlpha[31]);
    EXPECT_EQ(0, t.haloAlpha[0]);
}

TEST(Feather, TruncatesTheDoubleMix) {
    const EdgeTable& t = edgeTable();
    auto mix = [&](uint8_t c, uint8_t b, int m) {
        return featherChannel(c, b, t.cameraWeight[m], t.backgroundWeight[m]);
    };
    EXPECT_EQ(251, mix(255, 0, 1));
    EXPECT_EQ(198, mix(200, 100, 1));
    EXPECT_EQ(176, mix(200, 100, 4));
    EXPECT_EQ(123, mix(100, 200, 4));
    EXPECT_EQ(100, mix(200, 100, 9));  // m = 9 is all background
    EXPECT_EQ(200, mix(200, 200, 4));
}

TEST(HaloColour, TakesBlueGreenRedFromTheLowThreeBytes) {
    const HaloColour red = haloColourFrom(0xFF);
    EXPECT_EQ(0, red.blue);
    EXPECT_EQ(0, red.green);
    EXPECT_EQ(255, red.red);
    const HaloColour c = haloColourFrom(0xAA112233u);
    EXPECT_EQ(0x11, c.blue);
    EXPECT_EQ(0x22, c.green);
    EXPECT_EQ(0x33, c.red);
}

// One pixel per interesting matte value; camera (200, 100, 50) over
// background (10, 20, 30).
struct MatteRow {
    std::vector<uint8_t> matte = {0, 1, 9, 10, 15, 30, 31, 50};
    std::vector<uint8_t> camera, output, layer;
    MatteRow() {
        for (std::size_t i = 0; i < matte.size(); ++i) {
            camera.insert(camera.end(), {200, 100, 50});
            output.insert(output.end(), {10, 20, 30});
        }
        layer.assign(matte.size() * 4, 0);
    }
    int n() const { return static_cast<int>(matte.size()); }
    std::vector<uint8_t> pixel(int i) const { return {&output[i * 3], &output[i * 3 + 3]}; }
};

TEST(CompositeMatte, FeathersTheEdgeBandWithoutHalo) {
    MatteRow row;
    compositeMatte(row.matte.data(), row.camera.data(), row.output.data(), row.n(), false,
                   haloColourFrom(0xFF), row.layer.data());
    EXPECT_EQ((std::vector<uint8_t>{200, 100, 50}), row.pixel(0));
    EXPECT_EQ((std::vector<uint8_t>{197, 98, 49}), row.pixel(1));
    EXPECT_EQ((std::vector<uint8_t>{10, 20, 30}), row.pixel(2));
    for (int i = 3; i < row.n(); ++i) EXPECT_EQ((std::vector<uint8_t>{10, 20, 30}), row.pixel(i));
    EXPECT_EQ(std::vector<uint8_t>(row.layer.size(), 0), row.layer);
}

TEST(CompositeMatte, HaloKeepsTheCameraUnfeatheredAndColoursTheBand) {
    MatteRow row;
    compositeMatte(row.matte.data(), row.camera.data(), row.output.data(), row.n(), true,
                   haloColourFrom(0x00FF8040), row.layer.data());
    const std::vector<uint8_t> camera = {200, 100, 50}, background = {10, 20, 30};
    const uint8_t expectedAlpha[] = {0, 26, 206, 220, 255, 0, 0, 0};
    for (int i = 0; i < row.n(); ++i) {
        EXPECT_EQ(row.matte[i] <= 9 ? camera : background, row.pixel(i)) << "m " << +row.matte[i];
        const uint8_t* h = &row.layer[i * 4];
        EXPECT_EQ(expectedAlpha[i], h[3]) << "m " << +row.matte[i];
        const bool coloured = row.matte[i] >= 1 && row.matte[i] <= 30;
        EXPECT_EQ(coloured ? 0xFF : 0, h[0]);
        EXPECT_EQ(coloured ? 0x80 : 0, h[1]);
        EXPECT_EQ(coloured ? 0x40 : 0, h[2]);
    }
}

TEST(BlendRgba, UsesFloatWeightsAndTruncates) {
    // layer (blue, green, red, alpha) over image pixels.
    std::vector<uint8_t> layer = {9,   9,   9, 0,  200, 0,   255, 255, 0,   200,
                                  255, 128, 0, 77, 200, 254, 255, 77,  200, 1};
    std::vector<uint8_t> image = {1, 2, 3, 1, 2, 3, 255, 100, 0, 255, 77, 100, 0, 77, 100};
    blendRgba(layer.data(), image.data(), 5, 1);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 200, 0, 255, 126, 150, 128, 0, 77, 199, 1, 77, 100}),
              image);
}

TEST(BlendRgba, RefusesNullAndEmptySizes) {
    std::vector<uint8_t> layer(8, 255), image(6, 7);
    blendRgba(nullptr, image.data(), 2, 1);
    blendRgba(layer.data(), nullptr, 2, 1);
    blendRgba(layer.data(), image.data(), 0, 1);
    blendRgba(layer.data(), image.data(), 2, 0);
    blendRgba(layer.data(), image.data(), -2, 1);
    EXPECT_EQ(std::vector<uint8_t>(6, 7), image);
}

TEST(EnoughBackground, FifteenPercentIsEnough) {
    EXPECT_TRUE(enoughBackground(46080, 640 * 480));
    EXPECT_FALSE(enoughBackground(46079, 640 * 480));
    EXPECT_TRUE(enoughBackground(640 * 480, 640 * 480));
    EXPECT_FALSE(enoughBackground(0, 640 * 480));
}

TEST(ChainLength, CountsTheStepsAroundTheOutline) {
    EXPECT_EQ(0, chainLength({{5, 5}}));
    EXPECT_EQ(36, chainLength({{0, 0}, {0, 9}, {9, 9}, {9, 0}}));  // 10 x 10 square
    EXPECT_EQ(16, chainLength({{4, 0}, {0, 4}, {4, 8}, {8, 4}}));  // diagonal diamond
    EXPECT_EQ(2, chainLength({{0, 0}, {1, 0}}));                   // two-pixel line, out and back
}

// The outlines the old chain-code calls give: contours as Freeman chains,
// approximated with the simple method from 190 points on, kept above a
// closed perimeter of 200 and drawn at thickness 3. OpenCV still ships
// them, so they serve as the reference here.
cv::Mat chainCodeOutlines(const cv::Mat& blobs) {
    cv::Mat work = blobs.clone();
    CvMemStorage* storage = cvCreateMemStorage(0);
    IplImage image = cvIplImage(work);
    CvSeq* first = nullptr;
    cvFindContours(&image, storage, &first, sizeof(CvContour), CV_RETR_EXTERNAL, CV_CHAIN_CODE,
                   cvPoint(0, 0));
    cv::Mat canvas(blobs.size(), CV_8UC1, cv::Scalar(255));
    IplImage target = cvIplImage(canvas);
    for (CvSeq* c = first; c != nullptr; c = c->h_next) {
        CvSeq* a = cvApproxChains(c, storage, CV_CHAIN_APPROX_SIMPLE, 0, 190, 1);
        if (a != nullptr && cvArcLength(a, CV_WHOLE_SEQ, 1) > 200.0)
            cvDrawContours(&target, a, cvScalarAll(0), cvScalarAll(255), -1, 3, 8, cvPoint(0, 0));
    }
    cvReleaseMemStorage(&storage);
    return canvas;
}

TEST(DrawLargeOutlines, MatchesTheChainCodeOutlinesOnRandomBlobs) {
    std::mt19937 rng(7);
    int outlined = 0;
    for (int trial = 0; trial < 60; ++trial) {
        cv::Mat blobs(120, 160, CV_8UC1, cv::Scalar(0));
        for (int k = 0; k < 6; ++k) {
            cv::ellipse(blobs, cv::Point(rng() % 160, rng() % 120),
                        cv::Size(3 + rng() % 40, 3 + rng() % 40), rng() % 180, 0, 360,
                        cv::Scalar(255), cv::FILLED);
            cv::rectangle(blobs, cv::Rect(rng() % 160, rng() % 120, rng() % 30, rng() % 30),
                          cv::Scalar(trial % 2 ? 0 : 128), cv::FILLED);
        }
        const cv::Mat expected = chainCodeOutlines(blobs);
        cv::Mat canvas(blobs.size(), CV_8UC1, cv::Scalar(7));
        drawLargeOutlines(blobs, canvas);
        ASSERT_EQ(0, cv::countNonZero(expected != canvas)) << "trial " << trial;
        outlined += cv::countNonZero(canvas == 0) > 0;
    }
    EXPECT_GT(outlined, 30);
}

TEST(DrawLargeOutlines, SmallBlobsLeaveNoTrace) {
    cv::Mat blobs(120, 160, CV_8UC1, cv::Scalar(0)), canvas(120, 160, CV_8UC1);
    cv::rectangle(blobs, cv::Rect(20, 20, 40, 40), cv::Scalar(255), cv::FILLED);  // 156 steps
    cv::circle(blobs, cv::Point(120, 60), 25, cv::Scalar(255), cv::FILLED);       // ~150 px
    drawLargeOutlines(blobs, canvas);
    EXPECT_EQ(canvas.total(), static_cast<std::size_t>(cv::countNonZero(canvas == 255)));
}

TEST(DrawLargeOutlines, BlobAtTheFrameEdgeIsOutlinedInsideTheBorder) {
    cv::Mat blobs(120, 160, CV_8UC1, cv::Scalar(0)), canvas(120, 160, CV_8UC1);
    cv::rectangle(blobs, cv::Rect(30, 40, 100, 80), cv::Scalar(255), cv::FILLED);  // to the bottom
    drawLargeOutlines(blobs, canvas);
    EXPECT_EQ(0, canvas.at<uint8_t>(118, 80));  // the cleared last row is one inside
    EXPECT_EQ(0, canvas.at<uint8_t>(40, 80));
    EXPECT_EQ(255, canvas.at<uint8_t>(80, 80));  // the inside stays open
}

TEST(BarrierRow, CountsFromTheHostsFirstRow) {
    EXPECT_FALSE(barrierRow(0, 480, 0).has_value());
    EXPECT_FALSE(barrierRow(0, 480, 1).has_value());
    EXPECT_EQ(240, barrierRow(50, 480, 0));
    EXPECT_EQ(336, barrierRow(30, 480, 1));  // 70 % from the top
    EXPECT_EQ(2, barrierRow(1, 241, 0));     // 2.41 truncates
    EXPECT_EQ(-2, barrierRow(-1, 241, 0));   // toward zero
    EXPECT_EQ(0, barrierRow(100, 480, 1));
}

TEST(BarrierRow, FarOutPercentagesStayOutsideTheFrame) {
    for (int32_t cut : {INT_MAX, INT_MIN, INT_MIN + 1, 1000000, -1000000, 101, -101})
        for (int32_t reverse : {0, 1}) {
            const int row = *barrierRow(cut, 480, reverse);
            cv::Mat canvas(480, 64, CV_8UC1, cv::Scalar(255));
            drawBarrier(canvas, row);
            const bool inside = row >= -1 && row <= 480;
            if (!inside) EXPECT_EQ(0, cv::countNonZero(canvas == 0)) << cut << " " << reverse;
            EXPECT_GE(row, -16);
            EXPECT_LE(row, 480 + 16);
        }
}

TEST(FillFromTopCorners, FillsFromBothCornersWhenTheFirstStopsShort) {
    cv::Mat open(40, 60, CV_8UC1, cv::Scalar(255));
    EXPECT_EQ(2400.0, fillFromTopCorners(open));
    EXPECT_EQ(0, cv::countNonZero(open != 50));

    // A wall from top to bottom: the left fill stops at it, the right adds.
    cv::Mat walled(40, 60, CV_8UC1, cv::Scalar(255));
    walled.col(20).setTo(0);
    EXPECT_EQ(2400.0 - 40, fillFromTopCorners(walled));
    EXPECT_EQ(40, cv::countNonZero(walled == 0));

    // A barrier across the width: only what is above it is background.
    cv::Mat barred(40, 60, CV_8UC1, cv::Scalar(255));
    drawBarrier(barred, 20);
    const double area = fillFromTopCorners(barred);
    EXPECT_EQ(area, cv::countNonZero(barred == 50));
    EXPECT_EQ(255, barred.at<uint8_t>(39, 30));
    EXPECT_LT(area, 60 * 20);
}

TEST(FillFromTopCorners, ACoveredCornerFloodsTheOutlineInstead) {
    cv::Mat canvas(40, 60, CV_8UC1, cv::Scalar(255));
    cv::rectangle(canvas, cv::Rect(0, 0, 10, 10), cv::Scalar(0), 1);  // outline through (0, 0)
    const double area = fillFromTopCorners(canvas);
    EXPECT_EQ(36 + 2400 - 100, area);  // the 36 outline pixels, then the right-hand fill
    EXPECT_EQ(255, canvas.at<uint8_t>(5, 5));
}

TEST(MakeMatte, ZeroesWhatWasNotFilledAndBlurs) {
    cv::Mat canvas(30, 30, CV_8UC1, cv::Scalar(50));
    canvas(cv::Rect(0, 15, 30, 15)).setTo(255);
    canvas.row(14).setTo(0);
    makeMatte(canvas);
    EXPECT_EQ(50, canvas.at<uint8_t>(0, 0));
    EXPECT_EQ(0, canvas.at<uint8_t>(29, 29));
    EXPECT_EQ(0, canvas.at<uint8_t>(21, 10));  // window entirely below
    EXPECT_EQ(50, canvas.at<uint8_t>(7, 10));  // window entirely above
    const int edge = canvas.at<uint8_t>(14, 10);
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, 50);
}

}  // namespace
}  // namespace quexal::bkg
