// Placing and steadying the mask, and the per-frame driver.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "mask/mask_placement.h"
#include "mask/mask_rendering.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

const float kAspectLarge = static_cast<float>(200.0 / 190.0);
const float kAspectSmall = static_cast<float>(100.0 / 90.0);

// The face of the worked placements.
FaceMeasure workedFace(int32_t eyeDistance, float angle) {
    return {160, 130, 160, 110, eyeDistance, angle};
}

TEST(SmoothStep, RisingInputSettlesWithoutOvershoot) {
    int32_t value = 100, velocity = 0;
    const int32_t expected[] = {102, 106, 109, 110, 110, 110};
    const int32_t velocities[] = {5, 4, 2, 1, 0, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(expected[i], smoothStep(value, velocity, 110)) << "step " << i;
        EXPECT_EQ(velocities[i], velocity) << "step " << i;
        EXPECT_EQ(expected[i], value);
    }
}

TEST(SmoothStep, FallingInputTruncatesTowardZero) {
    int32_t value = 100, velocity = 0;
    EXPECT_EQ(99, smoothStep(value, velocity, 97));  // a = -6 / 4 = -1, trunc(99.5)
    EXPECT_EQ(-1, velocity);
}

TEST(SmoothStep, EmptyHistoryTakesTheMeasurementAndKeepsTheVelocity) {
    int32_t value = 0, velocity = 7;
    EXPECT_EQ(42, smoothStep(value, velocity, 42));
    EXPECT_EQ(42, value);
    EXPECT_EQ(7, velocity);
    // A history that smooths to exactly 0 counts as empty on the next step.
    value = 1;
    velocity = -1;
    EXPECT_EQ(0, smoothStep(value, velocity, 1));
    EXPECT_EQ(55, smoothStep(value, velocity, 55));
}

TEST(AngleStep, MovesAQuarterOfTheWayWithIntegerVelocity) {
    float angle = 0.0f;
    int32_t velocity = 0;
    EXPECT_EQ(0.3f, angleStep(angle, velocity, 0.3f));  // no history
    EXPECT_EQ(0.3f, angle);
    const float next = angleStep(angle, velocity, 0.7f);
    EXPECT_FLOAT_EQ(0.4f, next);
    EXPECT_EQ(next, angle);
    EXPECT_EQ(0, velocity);  // 0.2 truncates to 0
    // Only a jump of 2 radians or more leaves a velocity behind.
    angle = 0.1f;
    EXPECT_FLOAT_EQ(1.1f, angleStep(angle, velocity, 4.1f));
    EXPECT_EQ(2, velocity);
}

TEST(Placement, WorkedKindOne) {
    SmoothState smooth;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskAboveFace, workedFace(50, 0.0f), kAspectLarge, smooth, o));
    EXPECT_EQ(60, o.left);
    EXPECT_EQ(-54, o.top);
    EXPECT_EQ(200, o.width);
    EXPECT_EQ(189, o.height);
    EXPECT_EQ(0.0f, o.angle);
    EXPECT_EQ(160, smooth.x);
    EXPECT_EQ(40, smooth.y);
    EXPECT_EQ(200, smooth.size);
}

TEST(Placement, WorkedKindEight) {
    SmoothState smooth;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskWide, workedFace(50, 0.0f), kAspectLarge, smooth, o));
    EXPECT_EQ(220, o.width);
    EXPECT_EQ(208, o.height);
    EXPECT_EQ(160 - 110, o.left);
    EXPECT_EQ(86 - 104, o.top);
}

TEST(Placement, WorkedKindFour) {
    SmoothState smooth;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskOnEyes, workedFace(40, 0.1f), kAspectSmall, smooth, o));
    EXPECT_EQ(118, o.left);
    EXPECT_EQ(75, o.top);
    EXPECT_EQ(80, o.width);
    EXPECT_EQ(71, o.height);
    EXPECT_EQ(0.1f, o.angle);
    EXPECT_EQ(158, smooth.x);
    EXPECT_EQ(110, smooth.y);
}

TEST(Placement, WorkedEyeBand) {
    SmoothState smooth;
    const Overlay band = placeEyeBand(workedFace(50, 0.0f), smooth);
    EXPECT_EQ(105, band.left);
    EXPECT_EQ(103, band.top);
    EXPECT_EQ(110, band.width);
    EXPECT_EQ(46, band.height);
    // The band grows with the tilt: 30 * 0.2 adds 6 rows.
    SmoothState fresh;
    EXPECT_EQ(52, placeEyeBand(workedFace(50, 0.2f), fresh).height);
}

TEST(Placement, SwingMovesAPointAboveThePivotLeftAndDown) {
    const FaceMeasure face = workedFace(50, 0.0f);
    const Point32 upright = swingAboutFace(face, 40, 0.0f);
    EXPECT_EQ(160, upright.x);
    EXPECT_EQ(40, upright.y);
    const Point32 tilted = swingAboutFace(face, 40, 0.3f);  // d = 90
    EXPECT_EQ(133, tilted.x);                               // 160 - 26.6
    EXPECT_EQ(44, tilted.y);                                // 40 + 4.0
}

TEST(Placement, KindTwoIsRaisedFromTheSmoothedFacePointAndNotSwung) {
    SmoothState smooth;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskOnFacePoint, workedFace(50, 0.3f), kAspectLarge, smooth, o));
    EXPECT_EQ(130, smooth.y);           // the history keeps the face point
    EXPECT_EQ(160 - 100, o.left);       // centre x is the face x
    EXPECT_EQ((130 - 30) - 94, o.top);  // raised by 0.15 * 200
    EXPECT_EQ(0.3f, o.angle);
}

TEST(Placement, EyeKindsTiltWithTheRawAngleAndKeepTheAngleHistory) {
    for (int32_t kind : {kMaskBelowEyes, kMaskOnEyes}) {
        SmoothState smooth;
        smooth.angle = 0.5f;
        smooth.angleVel = 3;
        Overlay o{};
        ASSERT_TRUE(placeOverlay(kind, workedFace(40, 0.1f), kAspectSmall, smooth, o));
        EXPECT_EQ(0.1f, o.angle);
        EXPECT_EQ(0.5f, smooth.angle);
        EXPECT_EQ(3, smooth.angleVel);
    }
    // Kind 1 follows the smoothed angle instead.
    SmoothState smooth;
    smooth.angle = 0.5f;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskAboveFace, workedFace(50, 0.1f), kAspectLarge, smooth, o));
    EXPECT_FLOAT_EQ(0.4f, o.angle);
}

TEST(Placement, KindEightEndsEveryTiltedFrameWithoutAngleVelocity) {
    // A jump of 2.5 radians: the first pass gives 0.1 + 0.625 with velocity
    // 1; the second pass over its own result gives 0.725 + 1 - 0.5.
    SmoothState smooth;
    smooth.angle = 0.1f;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskWide, workedFace(50, 2.6f), kAspectLarge, smooth, o));
    EXPECT_EQ(0, smooth.angleVel);
    EXPECT_FLOAT_EQ(1.225f, o.angle);
    EXPECT_EQ(o.angle, smooth.angle);
    // Kind 1 keeps the velocity of the same jump.
    SmoothState one;
    one.angle = 0.1f;
    ASSERT_TRUE(placeOverlay(kMaskAboveFace, workedFace(50, 2.6f), kAspectLarge, one, o));
    EXPECT_EQ(1, one.angleVel);
    EXPECT_FLOAT_EQ(0.725f, o.angle);
}

TEST(Placement, UnknownKindsAndBadAspectPlaceNothing) {
    for (int32_t kind : {0, 5, 6, 7, 9, -1}) {
        SmoothState smooth;
        Overlay o{};
        EXPECT_FALSE(placeOverlay(kind, workedFace(50, 0.0f), kAspectLarge, smooth, o));
        EXPECT_EQ(0, smooth.size);
        EXPECT_EQ(0, smooth.x);
    }
    SmoothState smooth;
    Overlay o{};
    EXPECT_FALSE(placeOverlay(kMaskAboveFace, workedFace(50, 0.0f), 0.0f, smooth, o));
}

TEST(Placement, OverlayRangeIsZeroToAThousand) {
    EXPECT_TRUE(overlayInRange({0, 0, 1000, 1000, 0.0f}));
    EXPECT_TRUE(overlayInRange({0, 0, 0, 0, 0.0f}));
    EXPECT_FALSE(overlayInRange({0, 0, 1001, 10, 0.0f}));
    EXPECT_FALSE(overlayInRange({0, 0, 10, 1001, 0.0f}));
    EXPECT_FALSE(overlayInRange({0, 0, -1, 10, 0.0f}));
    // Faces of written size keep the thousand; wider ones grow it in proportion.
    EXPECT_EQ(1000, maxOverlaySideFor(kOverlayLimitFaceWidth));
    EXPECT_EQ(2000, maxOverlaySideFor(2 * kOverlayLimitFaceWidth));
    EXPECT_TRUE(overlayInRange({0, 0, 2000, 10, 0.0f}, maxOverlaySideFor(928)));
    EXPECT_FALSE(overlayInRange({0, 0, 2001, 10, 0.0f}, maxOverlaySideFor(928)));
}

TEST(Placement, ChangingModeKeepsTheSizeHistory) {
    SmoothState smooth;
    Overlay o{};
    ASSERT_TRUE(placeOverlay(kMaskAboveFace, workedFace(50, 0.0f), kAspectLarge, smooth, o));
    const Overlay band = placeEyeBand(workedFace(50, 0.0f), smooth);
    EXPECT_GT(band.width, 110);  // moving from 200 towards 110, not jumping
    EXPECT_LT(band.width, 200);
}

// ---- The driver -----------------------------------------------------------

// A 200 x 190 picture with every alpha value, as the host would register it.
std::vector<uint8_t> testPicture() {
    std::vector<uint8_t> p(200 * 190 * 4);
    for (std::size_t i = 0; i < p.size(); i += 4) {
        p[i] = 20;
        p[i + 1] = 200;
        p[i + 2] = 60;
        p[i + 3] = static_cast<uint8_t>(i / 4 % 256);
    }
    return p;
}

// What a successful registration leaves in the context.
void registerByHand(Session& ctx, int32_t kind) {
    ctx.face.maskPixels = testPicture();
    ctx.face.maskWidth = 200;
    ctx.face.maskHeight = 190;
    ctx.face.maskKind = kind;
    ctx.face.maskAspect = kAspectLarge;
    ctx.status = 1;
    ctx.face.redetect = 1;
}

// A context ready for mask frames, picture registered.
struct MaskContext {
    explicit MaskContext(int width = 320, int height = -240) {
        EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, width, height));
        registerByHand(ctx, kMaskAboveFace);
    }
    Session ctx{BufferPolicy::AtInit};
};

TEST(ProcessMask, RefusesUntilAPictureIsRegistered) {
    Session ctx;
    test::Frame frame(320, 240, 77);
    const auto before = frame.bytes;
    for (int32_t mode : {0, 1, 2, 3})
        EXPECT_EQ(QX_MASK_NOT_READY, ctx.processMask(frame.data(), mode));
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 320, 240));
    for (int32_t mode : {0, 1, 2, 3})
        EXPECT_EQ(QX_MASK_NOT_READY, ctx.processMask(frame.data(), mode));
    EXPECT_EQ(before, frame.bytes);
}

TEST(ProcessMask, FrameWithoutAFaceComesBackUntouched) {
    MaskContext m;
    m.ctx.face.smoothing.x = 11;
    m.ctx.face.smoothing.size = 22;
    m.ctx.face.smoothing.angle = 0.5f;
    cv::Mat flat(240, 320, CV_8UC3, cv::Scalar(90, 120, 150));
    cv::randu(flat.rowRange(0, 10), 0, 255);
    std::vector<uint8_t> frame = test::toHostFrame(flat, false);
    const auto before = frame;
    for (int32_t mode : {0, 1, 2}) {
        EXPECT_EQ(QX_DONE, m.ctx.processMask(frame.data(), mode));
        EXPECT_EQ(before, frame);
    }
    EXPECT_EQ(11, m.ctx.face.smoothing.x);
    EXPECT_EQ(22, m.ctx.face.smoothing.size);
    EXPECT_EQ(0.5f, m.ctx.face.smoothing.angle);
    EXPECT_EQ(1, m.ctx.face.redetect);  // later frames keep searching
}

TEST(ProcessMask, PendingRedetectionSkipsTheTracker) {
    // Registration while tracking: redetect wins over a stage-4 detection,
    // so the tracker never reads the frame.
    MaskContext m;
    m.ctx.face.detectStage = 4;
    m.ctx.face.trackState = 1;
    m.ctx.face.trackGray.setTo(7);
    m.ctx.face.trackPrevGray.setTo(7);
    test::Frame frame(320, 240, 200);
    EXPECT_EQ(QX_DONE, m.ctx.processMask(frame.data(), 0));
    EXPECT_EQ(0, cv::countNonZero(m.ctx.face.trackGray != 7));
    EXPECT_EQ(0, cv::countNonZero(m.ctx.face.trackPrevGray != 7));
}

// ---- Whole frames on the portrait ----------------------------------------

// The portrait doubled to 640 x 480, top row first.
cv::Mat portrait640() {
    cv::Mat scaled;
    cv::resize(test::loadPhoto("astronaut_320x240.png"), scaled, cv::Size(640, 480), 0, 0,
               cv::INTER_LINEAR);
    return scaled;
}

// The working image as the driver should leave it for `mode` on a first
// frame after a detection, computed from the fields the detection wrote.
cv::Mat expectedFirstFrame(const Session& ctx, const cv::Mat& image, int32_t mode) {
    cv::Mat out = image.clone();
    const FaceMeasure face{ctx.face.faceX,   ctx.face.faceY,       ctx.face.eyeMidX,
                           ctx.face.eyeMidY, ctx.face.eyeDistance, ctx.face.faceAngle};
    SmoothState fresh;
    if (mode == kPixelateMode || mode == kBlurMode) {
        const Overlay b = placeEyeBand(face, fresh);
        obscureRegion(out, mode, mode == kPixelateMode ? 8 : 15, b.left, b.top, b.width, b.height,
                      out.cols, out.rows);
    } else {
        Overlay o{};
        EXPECT_TRUE(placeOverlay(ctx.face.maskKind, face, ctx.face.maskAspect, fresh, o));
        drawMask(ctx.face.maskPixels.data(), out.data, ctx.face.maskWidth, ctx.face.maskHeight,
                 o.left, o.top, o.width, o.height, o.angle, out.cols, out.rows);
    }
    return out;
}

#define REQUIRE_FACE(ctx)            \
    if ((ctx).face.detectStage != 4) \
    GTEST_SKIP() << "face detection finds no face and eyes on the portrait"

// Tracked frames run on the portrait at its own size: doubled, its face
// point lies too far below the tracked eye lines for the tracker to hold.
TEST(ProcessMaskOnPortrait, FirstFrameIsPlacedAtTheMeasurementThenTracked) {
    for (int32_t mode : {0, 1, 2}) {
        MaskContext m(320, -240);
        const cv::Mat image = test::loadPhoto("astronaut_320x240.png");
        std::vector<uint8_t> frame = test::toHostFrame(image, false);
        ASSERT_EQ(QX_DONE, m.ctx.processMask(frame.data(), mode));
        REQUIRE_FACE(m.ctx);
        EXPECT_EQ(0, m.ctx.face.redetect);
        EXPECT_EQ(-1, m.ctx.face.trackState);
        const cv::Mat expected = expectedFirstFrame(m.ctx, image, mode);
        EXPECT_EQ(0, cv::norm(cv::Mat(240, 320, CV_8UC3, frame.data()), expected, cv::NORM_INF))
            << "mode " << mode;
        EXPECT_GT(cv::norm(expected, image, cv::NORM_INF), 0) << "mode " << mode;

        // The next frames follow the face with the tracker, not a detection.
        cv::Mat gray;
        cv::cvtColor(image, gray, cv::COLOR_BGR2GRAY);
        for (int i = 0; i < 3; ++i) {
            frame = test::toHostFrame(image, false);
            m.ctx.face.trackGray.setTo(0);
            ASSERT_EQ(QX_DONE, m.ctx.processMask(frame.data(), mode));
            EXPECT_EQ(1, m.ctx.face.trackState) << "mode " << mode << " frame " << i;
            EXPECT_EQ(0, m.ctx.face.redetect);
            EXPECT_EQ(0, cv::norm(m.ctx.face.trackPrevGray, gray, cv::NORM_INF));
            EXPECT_GT(cv::norm(cv::Mat(240, 320, CV_8UC3, frame.data()), image, cv::NORM_INF), 0);
        }
    }
}

TEST(ProcessMaskOnPortrait, RegistrationWhileTrackingRestartsFromADetection) {
    MaskContext m(320, -240);
    const cv::Mat image = test::loadPhoto("astronaut_320x240.png");
    std::vector<uint8_t> frame = test::toHostFrame(image, false);
    ASSERT_EQ(QX_DONE, m.ctx.processMask(frame.data(), 0));
    REQUIRE_FACE(m.ctx);
    frame = test::toHostFrame(image, false);
    ASSERT_EQ(QX_DONE, m.ctx.processMask(frame.data(), 0));
    ASSERT_EQ(1, m.ctx.face.trackState);

    // A new registration asks for a detection; the history from before it
    // must not leak into the first frame after it.
    const std::vector<uint8_t> picture = testPicture();
    ASSERT_EQ(1, m.ctx.setMaskImage(picture.data(), 200, 190, kMaskAboveFace, QX_MASK_MAGIC));
    m.ctx.face.smoothing.size = 999;
    m.ctx.face.smoothing.angle = 1.0f;
    frame = test::toHostFrame(image, false);
    ASSERT_EQ(QX_DONE, m.ctx.processMask(frame.data(), 0));
    EXPECT_EQ(-1, m.ctx.face.trackState);
    EXPECT_EQ(0, m.ctx.face.redetect);
    EXPECT_EQ(4 * m.ctx.face.eyeDistance, m.ctx.face.smoothing.size);
    EXPECT_EQ(0, cv::norm(cv::Mat(240, 320, CV_8UC3, frame.data()),
                          expectedFirstFrame(m.ctx, image, 0), cv::NORM_INF));
}

TEST(ProcessMaskOnPortrait, LostTrackIsDetectedAgainInTheSameFrame) {
    // The face point is moved above the eye lines after the seeding frame,
    // so the first flow step loses the track: that frame must still be
    // drawn, from a fresh detection.
    MaskContext m(640, -480);
    const cv::Mat image = portrait640();
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> frame = test::toHostFrame(image, false);
        m.ctx.face.smoothing.size = 999;
        ASSERT_EQ(QX_DONE, m.ctx.processMask(frame.data(), 0));
        REQUIRE_FACE(m.ctx);
        if (i == 1) {
            ASSERT_EQ(1, m.ctx.face.trackState);  // seeded from the first frame's detection
            m.ctx.face.trackPrevPoints[0].y = 10;
            continue;
        }
        EXPECT_EQ(-1, m.ctx.face.trackState) << "frame " << i;
        EXPECT_EQ(0, m.ctx.face.redetect);
        EXPECT_EQ(0, cv::norm(cv::Mat(480, 640, CV_8UC3, frame.data()),
                              expectedFirstFrame(m.ctx, image, 0), cv::NORM_INF))
            << "frame " << i;
    }
}

TEST(ProcessMaskOnPortrait, FrameComesBackInTheCallersRowOrder) {
    const cv::Mat image = portrait640();
    MaskContext topDown(640, -480), bottomUp(640, 480);
    std::vector<uint8_t> a = test::toHostFrame(image, false);
    std::vector<uint8_t> b = test::toHostFrame(image, true);
    ASSERT_EQ(QX_DONE, topDown.ctx.processMask(a.data(), 0));
    ASSERT_EQ(QX_DONE, bottomUp.ctx.processMask(b.data(), 0));
    REQUIRE_FACE(topDown.ctx);
    ASSERT_EQ(4, bottomUp.ctx.face.detectStage);
    cv::Mat flipped;
    cv::flip(cv::Mat(480, 640, CV_8UC3, b.data()), flipped, 0);
    EXPECT_EQ(0, cv::norm(cv::Mat(480, 640, CV_8UC3, a.data()), flipped, cv::NORM_INF));
    EXPECT_GT(cv::norm(cv::Mat(480, 640, CV_8UC3, a.data()), image, cv::NORM_INF), 0);
}

TEST(ProcessMaskOnPortrait, ThirdArgumentOfTheExportIsIgnored) {
    const cv::Mat image = portrait640();
    std::vector<std::vector<uint8_t>> outputs;
    for (int32_t reserved : {0, 1, -7}) {
        ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 640, -480, 0, 0));
        Session& ctx = theContext();
        registerByHand(ctx, kMaskWide);
        std::vector<uint8_t> frame = test::toHostFrame(image, false);
        ASSERT_EQ(QX_DONE, _QX_process_mask(frame.data(), 0, reserved));
        REQUIRE_FACE(ctx);
        outputs.push_back(frame);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(outputs[0], outputs[2]);
}

}  // namespace
}  // namespace quexal
