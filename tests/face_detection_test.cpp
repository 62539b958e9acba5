// Face detection: the grouping and geometry rules on their own, then the
// whole search on real photos.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "face_frames.h"
#include "mask/face_geometry.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

// A face window of side s at (x, y), in reduced-image pixels. With scale 1
// the full-frame corners equal these numbers.
cv::Rect window(int x, int y, int s = 50) {
    return {x, y, s, s};
}

TEST(FaceGrouping, ScalingByTheFloatFactorTruncates) {
    EXPECT_EQ(129, scaleEdge(100, kDetectScale));
    EXPECT_EQ(12, scaleEdge(10, kDetectScale));
    const std::vector<cv::Rect> one = {{10, 100, 90, 0}};
    const auto face = groupFaceWindows(one, kDetectScale);
    ASSERT_TRUE(face);
    EXPECT_EQ((Box{12, 129, 129, 129}), *face);
}

TEST(FaceGrouping, SeventyJoinsAndSeventyOneOpensANewGroup) {
    // 70 off on x, then 70 off the mean on y: one group of three. 71 off on
    // either axis opens a second group, which the repeated window makes best.
    const std::vector<cv::Rect> joins = {window(100, 100), window(170, 100), window(100, 170)};
    EXPECT_EQ((Box{123, 123, 173, 173}), *groupFaceWindows(joins, 1.0f));
    const std::vector<cv::Rect> apart = {window(100, 100), window(171, 100), window(171, 100)};
    EXPECT_EQ((Box{171, 100, 221, 150}), *groupFaceWindows(apart, 1.0f));
    const std::vector<cv::Rect> apartY = {window(100, 100), window(100, 171), window(100, 171)};
    EXPECT_EQ((Box{100, 171, 150, 221}), *groupFaceWindows(apartY, 1.0f));
}

TEST(FaceGrouping, ACandidateJoinsOnlyTheFirstMatchingGroup) {
    // Groups at x 0 and x 140; a window at 70 matches both and goes to the
    // first, which then outnumbers the second.
    const std::vector<cv::Rect> windows = {window(0, 0), window(140, 0), window(70, 0)};
    EXPECT_EQ((Box{35, 0, 85, 50}), *groupFaceWindows(windows, 1.0f));
}

TEST(FaceGrouping, TiesKeepTheGroupThatGotThereFirst) {
    // B reaches two members before A does; A's later equal count does not win.
    const std::vector<cv::Rect> windows = {window(0, 0), window(300, 0), window(300, 10),
                                           window(0, 10)};
    EXPECT_EQ((Box{300, 5, 350, 55}), *groupFaceWindows(windows, 1.0f));
    // A single window per group: the first one stays best.
    const std::vector<cv::Rect> singles = {window(300, 0), window(0, 0)};
    EXPECT_EQ((Box{300, 0, 350, 50}), *groupFaceWindows(singles, 1.0f));
}

TEST(FaceGrouping, NoWindowOrAnyWindowOutOfBoundsGivesNothing) {
    EXPECT_FALSE(groupFaceWindows({}, kDetectScale));
    const std::vector<cv::Rect> atBound = {window(0, 0), {2000, -2000, 2000, 1}};
    EXPECT_TRUE(groupFaceWindows(atBound, kDetectScale));
    for (const cv::Rect& bad : {cv::Rect(2001, 0, 5, 5), cv::Rect(0, -2001, 5, 5),
                                cv::Rect(0, 0, 2001, 5), cv::Rect(0, 0, 5, -2001)}) {
        const std::vector<cv::Rect> windows = {window(0, 0), window(0, 0), bad};
        EXPECT_FALSE(groupFaceWindows(windows, kDetectScale)) << bad;
    }
}

TEST(FaceGrouping, ScanOrderIsWindowSizeThenRowThenColumn) {
    std::vector<cv::Rect> windows = {window(5, 1, 60), window(9, 0, 50), window(1, 3, 50),
                                     window(0, 3, 50)};
    sortInScanOrder(windows);
    const std::vector<cv::Rect> expected = {window(9, 0, 50), window(0, 3, 50), window(1, 3, 50),
                                            window(5, 1, 60)};
    EXPECT_EQ(expected, windows);
}

TEST(FaceGeometry, BandCentreAndEyeRegions) {
    const FaceBand band = faceBandOf({100, 50, 201, 171});
    // Bottom of the band: 80 + trunc(91 / 2.2) = 80 + 41.
    EXPECT_EQ((FaceBand{100, 80, 201, 121, 150, 120}), band);
    const EyeRegions r = eyeRegionsOf(band);
    EXPECT_EQ(75, r.eyeTop);
    EXPECT_EQ(cv::Rect(110, 75, 36, 46), r.imageLeft);   // 110 .. 201-50-5
    EXPECT_EQ(cv::Rect(155, 75, 36, 46), r.imageRight);  // 100+50+5 .. 201-10
}

TEST(FaceGeometry, NarrowOrShortFacesLeaveEmptyEyeRegions) {
    const EyeRegions narrow = eyeRegionsOf(faceBandOf({0, 0, 30, 100}));
    EXPECT_LE(narrow.imageLeft.width, 0);
    EXPECT_LE(narrow.imageRight.width, 0);
    // 19 high: the band ends where the regions begin, 5 above its top.
    EXPECT_LE(eyeRegionsOf(faceBandOf({0, 0, 100, 19})).imageLeft.height, 0);
    EXPECT_GT(eyeRegionsOf(faceBandOf({0, 0, 100, 20})).imageLeft.height, 0);
}

TEST(FaceGeometry, EyeWindowsAreHalvedThenAveraged) {
    const std::vector<cv::Rect> windows = {{10, 20, 31, 21}, {13, 22, 30, 20}};
    const auto mean = meanEyeWindow(windows, true);
    ASSERT_TRUE(mean);
    // Halves: (5,10,20,20) and (6,11,21,21); sums over two, truncated.
    EXPECT_EQ(5, mean->left);
    EXPECT_EQ(10, mean->top);
    EXPECT_EQ(20, mean->right);
    EXPECT_EQ(20, mean->bottom);
    const std::vector<cv::Rect> far = {{4002, 0, 2, 2}};
    EXPECT_FALSE(meanEyeWindow(far, true));
    EXPECT_TRUE(meanEyeWindow(far, false));
    EXPECT_FALSE(meanEyeWindow({}, false));
}

TEST(FaceGeometry, AngleBetweenIgnoresWhichPointIsLeft) {
    EXPECT_EQ(0.0f, angleBetween(10, 50, 90, 50));
    EXPECT_EQ(0.0f, angleBetween(90, 50, 10, 50));
    const float down = angleBetween(100, 50, 60, 60);
    EXPECT_EQ(static_cast<float>(std::atan2(10.0, 40.0)), down);
    EXPECT_EQ(down, angleBetween(60, 50, 100, 60));
    EXPECT_EQ(-down, angleBetween(100, 60, 60, 50));
    EXPECT_FLOAT_EQ(static_cast<float>(M_PI / 2), angleBetween(5, 0, 5, 9));
}

// ---- The whole search on photos ----------------------------------------

struct EyeAreas {
    cv::Rect imageLeft, imageRight;  // where the eyes of the photo truly are
};

cv::Mat scaled(const cv::Mat& image, int factor) {
    cv::Mat out;
    cv::resize(image, out, image.size() * factor, 0, 0, cv::INTER_LINEAR);
    return out;
}

void expectFaceAndEyes(const cv::Mat& photo, bool bottomUp, const EyeAreas& eyes) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, photo.cols, bottomUp ? photo.rows : -photo.rows));
    const auto frame = test::toHostFrame(photo, bottomUp);
    ASSERT_EQ(4, ctx.face.detect(frame.data()));
    EXPECT_EQ(4, ctx.face.detectStage);
    EXPECT_TRUE(eyes.imageLeft.contains({ctx.face.leftEyeX, ctx.face.leftEyeY}))
        << ctx.face.leftEyeX << "," << ctx.face.leftEyeY;
    EXPECT_TRUE(eyes.imageRight.contains({ctx.face.rightEyeX, ctx.face.rightEyeY}))
        << ctx.face.rightEyeX << "," << ctx.face.rightEyeY;
    EXPECT_LT(std::fabs(ctx.face.faceAngle), 0.12f);
    EXPECT_EQ(std::abs(ctx.face.rightEyeX - ctx.face.leftEyeX), ctx.face.eyeDistance);
    EXPECT_EQ((ctx.face.leftEyeX + ctx.face.rightEyeX) / 2, ctx.face.eyeMidX);
    EXPECT_EQ((ctx.face.leftEyeY + ctx.face.rightEyeY) / 2, ctx.face.eyeMidY);
    // The face point lies between the eyes and below them.
    EXPECT_GT(ctx.face.faceX, ctx.face.leftEyeX);
    EXPECT_LT(ctx.face.faceX, ctx.face.rightEyeX);
    EXPECT_GT(ctx.face.faceY, ctx.face.eyeMidY);
}

TEST(DetectFace, FindsThePortraitsFaceAndEyes) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    expectFaceAndEyes(photo, false, {{96, 94, 24, 14}, {140, 95, 24, 14}});
    expectFaceAndEyes(scaled(photo, 2), true, {{192, 188, 48, 28}, {280, 190, 48, 28}});
}

TEST(DetectFace, FindsTheFaceAndEyesOfASecondPhoto) {
    const cv::Mat photo = test::loadPhoto("solvay_face_320x240.png");
    expectFaceAndEyes(photo, false, {{128, 114, 26, 18}, {174, 114, 26, 18}});
    expectFaceAndEyes(scaled(photo, 2), false, {{256, 228, 52, 36}, {348, 228, 52, 36}});
}

TEST(DetectFace, NoFaceGivesStageZeroAndLeavesTheEyeCropsAlone) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 320, -240));
    const auto face = test::toHostFrame(photo, false);
    ASSERT_EQ(4, ctx.face.detect(face.data()));
    const uint8_t* crop = ctx.face.eyeCrop2.data;
    const cv::Mat before = ctx.face.eyeCrop2.clone();

    // Sky and wall of the same photo, no face in it.
    cv::Mat empty;
    cv::resize(photo(cv::Rect(0, 0, 60, 45)), empty, photo.size(), 0, 0, cv::INTER_LINEAR);
    const auto blank = test::toHostFrame(empty, false);
    EXPECT_EQ(0, ctx.face.detect(blank.data()));
    EXPECT_EQ(0, ctx.face.detectStage);
    EXPECT_EQ(crop, ctx.face.eyeCrop2.data);
    EXPECT_EQ(0, cv::norm(before, ctx.face.eyeCrop2, cv::NORM_INF));
}

TEST(DetectFace, RefusesBeforeInitialisation) {
    Session ctx;
    const std::vector<uint8_t> frame(320 * 240 * 3, 128);
    EXPECT_EQ(0, ctx.face.detect(frame.data()));
    EXPECT_EQ(0, ctx.face.track(frame.data()));
}

// The faster scans with the eye searches side by side give what OpenCV's
// classifier gives with the searches one after the other: every detection
// field, and the frames drawn from them.
TEST(FaceDetection, FastScansSideBySideMatchOpenCvsInTurn) {
    struct Case {
        const char* photo;
        cv::Size frame;
        double share;
    };
    std::vector<uint8_t> picture(200 * 190 * 4, 0);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>(i * 7 + 255 * (i % 4 == 3));
    for (const Case& c : {Case{"astronaut_320x240.png", {320, 240}, 1.0},
                          Case{"solvay_face_320x240.png", {320, 240}, 1.0},
                          Case{"astronaut_320x240.png", {640, 480}, 0.9},
                          Case{"solvay_face_320x240.png", {640, 480}, 0.9},
                          Case{"solvay_face_320x240.png", {1280, 720}, 1.0},
                          Case{"astronaut_320x240.png", {1920, 1080}, 1.2}}) {
        const cv::Mat photo = test::closeUp(test::loadPhoto(c.photo), c.frame, c.share);
        Session together, inTurn;
        for (Session* s : {&together, &inTurn}) {
            ASSERT_EQ(1, s->init(QUEXAL_DATA_ROOT, c.frame.width, -c.frame.height));
            ASSERT_EQ(QX_DONE,
                      s->setMaskImage(picture.data(), 200, 190, kMaskAboveFace, QX_MASK_MAGIC));
        }
        inTurn.face.eyeSearchesTogether = false;
        for (CascadeSearch* c :
             {&inTurn.face.faceCascade, &inTurn.face.eyeCascade, &inTurn.face.rightEyeCascade}) {
            ASSERT_TRUE(c->fast());
            c->dropFastScan();
        }
        std::vector<uint8_t> a(photo.data, photo.data + photo.total() * 3), b = a;
        ASSERT_EQ(QX_DONE, together.processMask(a.data(), 0));
        ASSERT_EQ(QX_DONE, inTurn.processMask(b.data(), 0));
        const FaceMask &x = together.face, &y = inTurn.face;
        EXPECT_EQ(kFaceAndEyes, x.detectStage) << c.photo << " " << c.frame;
        EXPECT_EQ(std::tie(x.faceLeft, x.eyeBandTop, x.faceRight, x.eyeBandBottom, x.faceX, x.faceY,
                           x.rightEyeX, x.rightEyeY, x.leftEyeX, x.leftEyeY, x.detectStage,
                           x.rightEyeHeight, x.leftEyeHeight, x.eyeDistance, x.eyeMidX, x.eyeMidY,
                           x.faceAngle),
                  std::tie(y.faceLeft, y.eyeBandTop, y.faceRight, y.eyeBandBottom, y.faceX, y.faceY,
                           y.rightEyeX, y.rightEyeY, y.leftEyeX, y.leftEyeY, y.detectStage,
                           y.rightEyeHeight, y.leftEyeHeight, y.eyeDistance, y.eyeMidX, y.eyeMidY,
                           y.faceAngle))
            << c.photo << " " << c.frame;
        EXPECT_TRUE(a == b) << c.photo << " " << c.frame;
        EXPECT_FALSE(a == std::vector<uint8_t>(photo.data, photo.data + a.size()));  // drawn
    }
}

}  // namespace
}  // namespace quexal
