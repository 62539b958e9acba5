// Feature tracking: seeding, rounding and the loss rules on their own, then
// following a real face across frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include "face_frames.h"
#include "mask/feature_tracking.h"
#include "mask/flow_pyramid.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

TEST(TrackPoints, SeedsTheFacePointAndThreePointsAboveEachEye) {
    cv::Point2f p[kTrackPoints];
    seedTrackPoints({160, 130, 180, 100, 140, 102, 12, 10}, p);
    const cv::Point2f expected[kTrackPoints] = {{160, 130}, {180, 90}, {178, 90}, {182, 90},
                                                {140, 94},  {138, 94}, {142, 94}};
    for (int i = 0; i < kTrackPoints; ++i) EXPECT_EQ(expected[i], p[i]) << i;
}

TEST(TrackPoints, CoordinatesRoundHalvesToEvenThenDivideTruncating) {
    // x: 2.5 -> 2, 3.5 -> 4; eye means 32/3 and -31/3 truncate toward zero.
    const cv::Point2f p[kTrackPoints] = {{2.5f, 3.5f}, {10, 20},     {11, 20.5f}, {11.4f, 21},
                                         {-10, 19.5f}, {-10.5f, 20}, {-11, 20}};
    const TrackedFace f = faceFromPoints(p);
    EXPECT_EQ(2, f.faceX);
    EXPECT_EQ(4, f.faceY);
    EXPECT_EQ(10, f.rightEyeX);  // 10 + 11 + 11
    EXPECT_EQ(20, f.rightEyeY);  // 20 + 20 + 21
    EXPECT_EQ(-10, f.leftEyeX);  // -10 - 10 - 11
    EXPECT_EQ(20, f.leftEyeY);   // 20 + 20 + 20
    EXPECT_EQ(20, f.eyeDistance);
    EXPECT_EQ(0, f.eyeMidX);
    EXPECT_EQ(0.0f, f.faceAngle);
}

// A sound face: eyes 40 apart on one line, face point 30 below them.
TrackedFace soundFace() {
    TrackedFace f;
    f.rightEyeX = 180, f.leftEyeX = 140, f.rightEyeY = f.leftEyeY = 100;
    f.eyeDistance = 40, f.eyeMidX = 160, f.eyeMidY = 100;
    f.faceX = 160, f.faceY = 130;
    return f;
}

TEST(TrackLoss, EachRuleHoldsAtItsBoundaryAndFailsOnePast) {
    EXPECT_TRUE(looksLikeFace(soundFace()));
    TrackedFace f = soundFace();
    f.eyeDistance = 16;
    EXPECT_TRUE(looksLikeFace(f));
    f.eyeDistance = 15;
    EXPECT_FALSE(looksLikeFace(f));

    f = soundFace();
    f.leftEyeY = 150;  // 50 apart
    EXPECT_TRUE(looksLikeFace(f));
    f.leftEyeY = 151;
    EXPECT_FALSE(looksLikeFace(f));
    f.leftEyeY = 49;
    EXPECT_FALSE(looksLikeFace(f));

    for (int side : {-1, 1}) {
        f = soundFace();
        f.eyeMidX = f.faceX + 70 * side;
        EXPECT_TRUE(looksLikeFace(f));
        f.eyeMidX = f.faceX + 71 * side;
        EXPECT_FALSE(looksLikeFace(f));
    }

    f = soundFace();
    for (auto [below, holds] : {std::pair{0, true}, {-1, false}, {70, true}, {71, false}}) {
        f.faceY = f.eyeMidY + below;
        EXPECT_EQ(holds, looksLikeFace(f)) << below;
    }
}

TEST(TrackLoss, LimitsGrowWithAFaceWiderThanTheWrittenOnesAllow) {
    const LossLimits written;
    for (int width : {0, 120, kLossLimitFaceWidth}) {
        const LossLimits l = lossLimitsFor(width);
        EXPECT_EQ(written.eyeLevels, l.eyeLevels) << width;
        EXPECT_EQ(written.sideways, l.sideways) << width;
        EXPECT_EQ(written.below, l.below) << width;
    }
    // Twice the width: twice the distances, the same least eye distance.
    const LossLimits twice = lossLimitsFor(2 * kLossLimitFaceWidth);
    TrackedFace f = soundFace();
    f.faceY = f.eyeMidY + 140;
    EXPECT_TRUE(looksLikeFace(f, twice));
    f.faceY = f.eyeMidY + 141;
    EXPECT_FALSE(looksLikeFace(f, twice));
    f = soundFace();
    f.eyeMidX = f.faceX - 140;
    EXPECT_TRUE(looksLikeFace(f, twice));
    f.eyeMidX = f.faceX - 141;
    EXPECT_FALSE(looksLikeFace(f, twice));
    f = soundFace();
    f.leftEyeY = f.rightEyeY + 100;
    EXPECT_TRUE(looksLikeFace(f, twice));
    f.leftEyeY = f.rightEyeY + 101;
    EXPECT_FALSE(looksLikeFace(f, twice));
    f = soundFace();
    f.eyeDistance = 15;
    EXPECT_FALSE(looksLikeFace(f, twice));
}

// ---- Tracking a real face ----------------------------------------------

cv::Mat shifted(const cv::Mat& image, int dx, int dy) {
    const cv::Matx23d move(1, 0, dx, 0, 1, dy);
    cv::Mat out;
    cv::warpAffine(image, out, move, image.size(), cv::INTER_NEAREST, cv::BORDER_REPLICATE);
    return out;
}

// A context with a successful detection on `photo`, ready to seed as the
// mask driver leaves it.
void detectOn(Session& ctx, const cv::Mat& photo, bool bottomUp) {
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, photo.cols, bottomUp ? photo.rows : -photo.rows));
    const auto frame = test::toHostFrame(photo, bottomUp);
    ASSERT_EQ(4, ctx.face.detect(frame.data()));
    ctx.face.trackState = -1;
    ctx.face.redetect = 0;
}

// The flow on pyramids whose derivatives exist only around the points
// gives the same points, bit for bit, as on OpenCV's full pyramids: on
// photos of several sizes (odd ones, and one too small for every level),
// with points on the face, at the edges, just outside and far outside.
TEST(FlowPyramid, FlowMatchesOpenCvsFullPyramids) {
    const cv::Size window(9, 9);
    const cv::TermCriteria stop(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 260, 0.001);
    for (const char* name : {"astronaut_320x240.png", "solvay_face_320x240.png"})
        for (cv::Size size :
             {cv::Size(320, 240), cv::Size(317, 237), cv::Size(1280, 720), cv::Size(41, 23)}) {
            cv::Mat photo, moved, a, b;
            cv::resize(test::loadPhoto(name), photo, size, 0, 0, cv::INTER_AREA);
            const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, 2.6, 0, 1, -1.3);
            cv::warpAffine(photo, moved, shift, size, cv::INTER_LINEAR, cv::BORDER_REFLECT);
            cv::cvtColor(photo, a, cv::COLOR_BGR2GRAY);
            cv::cvtColor(moved, b, cv::COLOR_BGR2GRAY);

            const float w = static_cast<float>(size.width), h = static_cast<float>(size.height);
            // A tight cluster on the face, as the tracker has it, and a
            // spread one that reaches the edges and beyond.
            const std::vector<std::vector<cv::Point2f>> clusters = {
                {{w * 0.5f, h * 0.45f}, {w * 0.45f, h * 0.35f}, {w * 0.55f, h * 0.36f}},
                {{w * 0.4f, h * 0.3f},
                 {0, 0},
                 {w - 1, h - 1},
                 {-3.5f, h * 0.5f},
                 {w + 6, 2},
                 {-40, -40}}};
            std::vector<cv::Mat> fullA, fullB;
            const int levels = cv::buildOpticalFlowPyramid(a, fullA, window, 2);
            cv::buildOpticalFlowPyramid(b, fullB, window, levels);
            for (const std::vector<cv::Point2f>& starts : clusters) {
                FlowPyramid ours, next;
                ours.build(a, window, 2);
                next.build(b, window, 2);
                ours.deriveAround(starts);

                std::vector<cv::Point2f> expected, got;
                std::vector<uint8_t> expectedFound, found;
                cv::calcOpticalFlowPyrLK(fullA, fullB, starts, expected, expectedFound,
                                         cv::noArray(), window, 2, stop, 0, 0.0);
                cv::calcOpticalFlowPyrLK(ours.imagesAndDerivatives(), next.images(), starts, got,
                                         found, cv::noArray(), window, 2, stop, 0, 0.0);
                ASSERT_EQ(expected.size(), got.size());
                for (std::size_t i = 0; i < got.size(); ++i) {
                    EXPECT_EQ(expectedFound[i], found[i]) << name << " " << size << " point " << i;
                    if (!found[i]) continue;
                    EXPECT_EQ(0, std::memcmp(&expected[i], &got[i], sizeof(cv::Point2f)))
                        << name << " " << size << " point " << i << ": " << expected[i] << " vs "
                        << got[i];
                }
            }
        }
}

// The derivatives themselves, over a whole level, odd sizes and the
// one-pixel edge cases included.
TEST(FlowPyramid, ScharrPairEqualsOpenCvsAtEveryPixel) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    for (cv::Size size : {cv::Size(320, 240), cv::Size(33, 17), cv::Size(1, 9), cv::Size(9, 1)}) {
        cv::Mat gray;
        const cv::Point at = size == photo.size() ? cv::Point(0, 0) : cv::Point(100, 60);
        cv::cvtColor(photo(cv::Rect(at, size)), gray, cv::COLOR_BGR2GRAY);
        std::vector<cv::Mat> opencv;
        cv::buildOpticalFlowPyramid(gray, opencv, cv::Size(3, 3), 0, true);
        cv::Mat ours(size, CV_16SC2, cv::Scalar::all(99));
        scharrInRegion(gray, cv::Rect(-5, -5, size.width + 10, size.height + 10), ours);
        EXPECT_EQ(0, cv::norm(opencv[1], ours, cv::NORM_INF)) << size;
    }
}

TEST(TrackFace, SeedingCallMovesNothingAndAStillSceneStaysPut) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Session ctx;
    detectOn(ctx, photo, true);
    const int faceX = ctx.face.faceX, faceY = ctx.face.faceY, rightX = ctx.face.rightEyeX,
              leftX = ctx.face.leftEyeX;
    const int rightLine = ctx.face.rightEyeY - ctx.face.rightEyeHeight + 2;
    const int leftLine = ctx.face.leftEyeY - ctx.face.leftEyeHeight + 2;
    const auto frame = test::toHostFrame(photo, true);

    ASSERT_EQ(1, ctx.face.track(frame.data()));
    EXPECT_EQ(1, ctx.face.trackState);
    EXPECT_EQ(faceX, ctx.face.faceX);
    EXPECT_EQ(rightLine + ctx.face.rightEyeHeight - 2,
              ctx.face.rightEyeY);  // still the detection's
    EXPECT_EQ(kTrackPoints, ctx.face.trackPointCount);
    EXPECT_EQ(cv::Point2f(faceX, faceY), ctx.face.trackPrevPoints[0]);

    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1, ctx.face.track(frame.data()));
        EXPECT_EQ(faceX, ctx.face.faceX);
        EXPECT_EQ(faceY, ctx.face.faceY);
        EXPECT_EQ(rightX, ctx.face.rightEyeX);
        EXPECT_EQ(leftX, ctx.face.leftEyeX);
        EXPECT_EQ(rightLine, ctx.face.rightEyeY);
        EXPECT_EQ(leftLine, ctx.face.leftEyeY);
        EXPECT_EQ(1, ctx.face.trackFlags & 1);
    }
}

TEST(TrackFace, FollowsAFaceMovingAFewPixelsAFrame) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Session ctx;
    detectOn(ctx, photo, true);
    auto frame = test::toHostFrame(photo, true);
    ASSERT_EQ(1, ctx.face.track(frame.data()));
    const std::vector<cv::Point2f> seeds(ctx.face.trackPrevPoints.begin(),
                                         ctx.face.trackPrevPoints.begin() + kTrackPoints);
    const int faceX = ctx.face.faceX, faceY = ctx.face.faceY;

    for (int t = 1; t <= 30; ++t) {
        const int dx = 2 * t, dy = -t;
        frame = test::toHostFrame(shifted(photo, dx, dy), true);
        ASSERT_EQ(1, ctx.face.track(frame.data())) << "frame " << t;
        for (int i = 0; i < kTrackPoints; ++i) {
            const cv::Point2f expected = seeds[i] + cv::Point2f(dx, dy);
            EXPECT_LE(cv::norm(ctx.face.trackPrevPoints[i] - expected), 2.0)
                << "frame " << t << " point " << i;
        }
        EXPECT_NEAR(faceX + dx, ctx.face.faceX, 2);
        EXPECT_NEAR(faceY + dy, ctx.face.faceY, 2);
    }
}

TEST(TrackFace, HoldsALargeFaceStillOrMovingSlowlyWithoutRedetection) {
    struct Case {
        const char* photo;
        cv::Size frame;
        double share;
    };
    for (const Case& c : {Case{"astronaut_320x240.png", {1280, 720}, 1.0},
                          Case{"solvay_face_320x240.png", {1280, 720}, 1.0},
                          Case{"astronaut_320x240.png", {1920, 1080}, 1.2},
                          Case{"solvay_face_320x240.png", {1920, 1080}, 1.0}}) {
        const cv::Mat photo = test::loadPhoto(c.photo);
        Session ctx;
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, c.frame.width, -c.frame.height));
        const cv::Mat first = test::closeUp(photo, c.frame, c.share, 0, 0);
        ASSERT_EQ(4, ctx.face.detect(first.data)) << c.photo << " " << c.frame;
        ASSERT_GT(ctx.face.faceRight - ctx.face.faceLeft, kLossLimitFaceWidth);
        ctx.face.trackState = kTrackSeedPending;
        ASSERT_EQ(1, ctx.face.track(first.data));
        for (int t = 1; t <= 20; ++t)  // still
            ASSERT_EQ(1, ctx.face.track(first.data)) << c.photo << " " << c.frame << " " << t;
        for (int t = 1; t <= 20; ++t) {  // drifting a pixel a frame
            const cv::Mat moved = test::closeUp(photo, c.frame, c.share, t, t / 2);
            ASSERT_EQ(1, ctx.face.track(moved.data)) << c.photo << " " << c.frame << " " << t;
        }
        EXPECT_EQ(0, ctx.face.redetect);
    }
}

// Camera noise on a large, smooth face: the flow window grows with the face,
// so the points keep their place instead of wandering off frame by frame.
TEST(TrackFace, ALargeFaceUnderCameraNoiseKeepsItsPoints) {
    for (const char* name : {"astronaut_320x240.png", "solvay_face_320x240.png"}) {
        const cv::Mat photo = test::loadPhoto(name);
        const cv::Size size(1920, 1080);
        Session ctx;
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, size.width, -size.height));
        const cv::Mat still = test::closeUp(photo, size, 1.0, 0, 0);
        ASSERT_EQ(4, ctx.face.detect(still.data)) << name;
        ctx.face.trackState = kTrackSeedPending;
        ASSERT_EQ(1, ctx.face.track(still.data));
        const int faceX = ctx.face.faceX, faceY = ctx.face.faceY, eyes = ctx.face.eyeDistance;

        cv::RNG rng(7);
        cv::Mat noise(size, CV_16SC3), noisy;
        int worstFace = 0, worstEyes = 0;
        for (int t = 1; t <= 60; ++t) {
            rng.fill(noise, cv::RNG::NORMAL, 0, 3.0);
            still.convertTo(noisy, CV_16SC3);
            noisy += noise;
            noisy.convertTo(noisy, CV_8UC3);
            ASSERT_EQ(1, ctx.face.track(noisy.data)) << name << " frame " << t;
            worstFace = std::max(
                {worstFace, std::abs(faceX - ctx.face.faceX), std::abs(faceY - ctx.face.faceY)});
            worstEyes = std::max(worstEyes, std::abs(eyes - ctx.face.eyeDistance));
        }
        EXPECT_LE(worstFace, 4) << name;  // a fixed 9-px window: 6 and 11
        EXPECT_LE(worstEyes, 2) << name;  // 3 and 9
    }
}

TEST(TrackFace, LosesTheTrackWhenTheFaceIsGone) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Session ctx;
    detectOn(ctx, photo, false);
    auto frame = test::toHostFrame(photo, false);
    ASSERT_EQ(1, ctx.face.track(frame.data()));
    // The face point is moved up onto the sky, above the eyes' line.
    ctx.face.trackPrevPoints[0] = {160, 10};
    ASSERT_EQ(0, ctx.face.track(frame.data()));
    EXPECT_EQ(1, ctx.face.redetect);
    EXPECT_EQ(0, ctx.face.trackState);
    // Lost stays lost until a detection: later calls only exchange images.
    EXPECT_EQ(0, ctx.face.track(frame.data()));
}

TEST(TrackFace, APendingRedetectionAnswersZeroEvenWhenTheFaceHolds) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Session ctx;
    detectOn(ctx, photo, false);
    const auto frame = test::toHostFrame(photo, false);
    ASSERT_EQ(1, ctx.face.track(frame.data()));
    ctx.face.redetect = 1;
    EXPECT_EQ(0, ctx.face.track(frame.data()));
    EXPECT_EQ(1, ctx.face.trackState);
}

}  // namespace
}  // namespace quexal
