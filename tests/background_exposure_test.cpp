// Background replacement under the camera's auto-exposure: a textured room
// with a known figure, sensor noise on every frame, and whole-frame gain
// and offset changes after the snapshot.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "background/exposure.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

constexpr int kW = 320, kH = 240;
constexpr double kNoiseSigma = 3.0;

// Walls in several tones from dark to bright, with a fine texture.
cv::Mat room() {
    cv::Mat scene(kH, kW, CV_8UC3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int panel = (x / 64 + y / 80) % 4;
            const int base = 50 + 45 * panel + ((x * 7 + y * 13) % 11);
            scene.at<cv::Vec3b>(y, x) = cv::Vec3b(base, base + 15 - x / 40, base - 10 + y / 30);
        }
    return scene;
}

// Head and shoulders `dx` pixels right of the middle, reaching the bottom.
cv::Mat figureShape(int dx = 0) {
    cv::Mat shape(kH, kW, CV_8UC1, cv::Scalar(0));
    cv::circle(shape, cv::Point(160 + dx, 95), 50, cv::Scalar(255), cv::FILLED);
    cv::rectangle(shape, cv::Rect(80 + dx, 150, 160, 90), cv::Scalar(255), cv::FILLED);
    return shape;
}

// The room with the astronaut photo as the figure, the exposure change
// applied to the whole frame, then sensor noise.
cv::Mat frameOf(const cv::Mat& shape, double gain, double offset, cv::RNG& rng) {
    cv::Mat frame = room();
    test::loadPhoto("astronaut_320x240.png").copyTo(frame, shape);
    frame.convertTo(frame, CV_16SC3, gain, offset);
    cv::Mat noise(frame.size(), CV_16SC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, kNoiseSigma);
    frame += noise;
    frame.convertTo(frame, CV_8UC3);
    return frame;
}

struct Replacement {
    Session ctx;
    cv::RNG rng{16};
    explicit Replacement(bool compensate) {
        EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, kW, -kH));
        cv::Mat scene = frameOf(cv::Mat(kH, kW, CV_8UC1, cv::Scalar(0)), 1.0, 0.0, rng);
        EXPECT_EQ(1, ctx.getBkgSnapshot(scene.data, kW, kH));
        const cv::Mat picture(kH, kW, CV_8UC3, cv::Scalar(255, 0, 255));
        EXPECT_EQ(1, ctx.background.setPicture(picture.data, kW, kH));
        ctx.background.exposureCompensation = compensate;
    }
    int run(const cv::Mat& shape, double gain, double offset) {
        cv::Mat frame = frameOf(shape, gain, offset, rng);
        return ctx.processBkg(frame.data, 0, 0, 0);
    }
    // The kept region: where the composite weighs the camera more than the
    // new background (feather weight cos(pi * m / 18) above a half).
    cv::Mat kept() const { return ctx.background.mask < 6; }
};

double iou(const cv::Mat& a, const cv::Mat& b) {
    return static_cast<double>(cv::countNonZero(a & b)) / cv::countNonZero(a | b);
}

// IoU after `frames` frames of the figure at a steady exposure change
// (the table it prints is the before / after of the option).
double settledIou(bool compensate, double gain, double offset, int frames = 8) {
    Replacement r(compensate);
    const cv::Mat shape = figureShape();
    for (int i = 0; i < frames; ++i) r.run(shape, gain, offset);
    return iou(r.kept(), shape);
}

TEST(ExposureCompensation, KeepsTheFigureThroughGainAndOffsetChanges) {
    std::printf("gain offset  IoU off  IoU on\n");
    for (double gain : {0.85, 0.93, 1.0, 1.07, 1.15})
        for (double offset : {-15.0, 0.0, 15.0}) {
            const double on = settledIou(true, gain, offset);
            std::printf("%4.2f %+6.0f %8.3f %7.3f\n", gain, offset, settledIou(false, gain, offset),
                        on);
            EXPECT_GE(on, 0.95) << gain << " " << offset;
        }
}

TEST(ExposureCompensation, UnchangedExposureSegmentsAsWithoutIt) {
    const double off = settledIou(false, 1.0, 0.0), on = settledIou(true, 1.0, 0.0);
    EXPECT_GE(off, 0.96);
    EXPECT_NEAR(on, off, 0.005);
}

TEST(ExposureCompensation, SlowDriftWithAMovingFigureStaysSmooth) {
    Replacement r(true);
    constexpr int kFrames = 100;
    double lastArea = -1;
    const double figureArea = cv::countNonZero(figureShape());
    for (int i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / (kFrames - 1);
        const int dx = static_cast<int>(std::lround(40 * std::sin(2 * CV_PI * t)));
        ASSERT_EQ(QX_DONE, r.run(figureShape(dx), 1.0 - 0.14 * t, 12 * t)) << i;
        const double area = cv::countNonZero(r.kept());
        if (lastArea >= 0) EXPECT_LT(std::abs(area - lastArea), 0.03 * figureArea) << i;
        lastArea = area;
        EXPECT_GE(iou(r.kept(), figureShape(dx)), 0.93) << i;
    }
}

// The fit finds a known change with a third of the frame unlike the room.
TEST(ExposureFit, RecoversGainAndOffsetRobustly) {
    cv::RNG rng(7);
    const cv::Mat reference = frameOf(cv::Mat(kH, kW, CV_8UC1, cv::Scalar(0)), 1.0, 0.0, rng);
    cv::Mat frame;
    reference.convertTo(frame, CV_8UC3, 0.9, 8.0);
    // A third of the frame covered by something unlike the room.
    frame(cv::Rect(0, 0, kW / 3, kH)).setTo(cv::Scalar(0, 255, 255));
    const bkg::Exposure fit = bkg::fitExposure(frame, reference, cv::Mat(), 0);
    for (const bkg::ChannelExposure& c : fit) {
        EXPECT_NEAR(0.9 * 128 + 8.0, c.gain * 128 + c.offset, 1.0);
        EXPECT_NEAR(0.9, c.gain, 0.03);
    }
}

}  // namespace
}  // namespace quexal
