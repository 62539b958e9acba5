// Background replacement through the context and the exports: states and
// result codes, the reference, the picture source, segmentation of a scene
// with a person, halo and barrier line.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "background/video/video_reader.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

constexpr int kW = 320, kH = 240;

// A green backdrop with some texture, standing for the empty scene.
cv::Mat backdrop() {
    cv::Mat scene(kH, kW, CV_8UC3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            scene.at<cv::Vec3b>(y, x) = cv::Vec3b(50 + x / 16, 150 + y / 12, 40 + (x + y) % 7);
    return scene;
}

// Head and shoulders: a circle over a block that reaches the bottom edge.
cv::Mat personShape() {
    cv::Mat shape(kH, kW, CV_8UC1, cv::Scalar(0));
    cv::circle(shape, cv::Point(160, 95), 55, cv::Scalar(255), cv::FILLED);
    cv::rectangle(shape, cv::Rect(70, 150, 180, 90), cv::Scalar(255), cv::FILLED);
    return shape;
}

// The astronaut photo pasted into the backdrop through `shape`.
cv::Mat sceneWith(const cv::Mat& shape) {
    cv::Mat frame = backdrop();
    test::loadPhoto("astronaut_320x240.png").copyTo(frame, shape);
    return frame;
}

// A background picture unlike anything in the scene.
cv::Mat magentaPicture() {
    return cv::Mat(kH, kW, CV_8UC3, cv::Scalar(255, 0, 255));
}

// A context with a reference of `scene` and `picture` as source, for host
// rows bottom-up or top-down.
struct Replacement {
    Session ctx;
    bool bottomUp;
    explicit Replacement(const cv::Mat& scene, const cv::Mat& picture, bool bottomUp = false)
        : bottomUp(bottomUp) {
        EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, scene.cols, bottomUp ? scene.rows : -scene.rows));
        EXPECT_EQ(1, ctx.getBkgSnapshot(test::toHostFrame(scene, bottomUp).data(), scene.cols,
                                        scene.rows));
        EXPECT_EQ(1, ctx.background.setPicture(picture.data, picture.cols, picture.rows));
    }
    // Composites `frame`; answers the result and leaves the output, top row
    // first, in `out`.
    int run(const cv::Mat& frame, cv::Mat& out, int halo = 0, int colour = 0, int cut = 0) {
        std::vector<uint8_t> host = test::toHostFrame(frame, bottomUp);
        const int result = ctx.processBkg(host.data(), halo, colour, cut);
        cv::Mat image(frame.rows, frame.cols, CV_8UC3, host.data());
        if (bottomUp)
            cv::flip(image, out, 0);
        else
            out = image.clone();
        return result;
    }
};

cv::Mat differs(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    cv::cvtColor(d, d, cv::COLOR_BGR2GRAY);
    return d > 0;
}

TEST(BackgroundExports, ResultCodesFollowTheState) {
    const cv::Mat scene = backdrop();
    std::vector<uint8_t> frame = test::toHostFrame(scene, true);
    const std::vector<uint8_t> original = frame;
    const cv::Mat picture = magentaPicture();

    EXPECT_EQ(0, _QX_get_bkg_snapshot(frame.data(), 0, 0, 0));  // before init: 0 x 0 fits
    EXPECT_EQ(0, _QX_set_bkg(picture.data, QX_BKG_PICTURE, kW, kH, 0));
    EXPECT_EQ(-2, _QX_process_bkg(frame.data(), 0, 0, 0, 0));

    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
    EXPECT_EQ(-2, _QX_process_bkg(frame.data(), 1, 0xFF, 50, 0));
    EXPECT_EQ(0, _QX_set_bkg(picture.data, QX_BKG_PICTURE, kW, kH, 0));  // no reference yet
    EXPECT_EQ(1, _QX_get_bkg_snapshot(frame.data(), kW, kH, 0));
    EXPECT_EQ(-1, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
    EXPECT_EQ(original, frame);

    EXPECT_EQ(0, _QX_set_bkg(picture.data, 3, kW, kH, 0));
    EXPECT_EQ(0, _QX_set_bkg(picture.data, QX_BKG_PICTURE, 0, kH, 0));
    EXPECT_EQ(0, _QX_set_bkg(nullptr, QX_BKG_PICTURE, kW, kH, 0));
    EXPECT_EQ(-1, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
    EXPECT_EQ(1, _QX_set_bkg(picture.data, QX_BKG_PICTURE, kW, kH, 0));
    EXPECT_EQ(1, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
    EXPECT_NE(original, frame);

    // A snapshot of the wrong size drops the reference and the source.
    frame = original;
    EXPECT_EQ(0, _QX_get_bkg_snapshot(frame.data(), kW - 1, kH, 0));
    EXPECT_EQ(-2, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
    EXPECT_EQ(0, _QX_set_bkg(picture.data, QX_BKG_PICTURE, kW, kH, 0));
    EXPECT_EQ(original, frame);
}

TEST(BackgroundState, SnapshotAndSourcesMoveTheStateAsTheTableSays) {
    Session ctx;
    const cv::Mat picture = magentaPicture();
    std::vector<uint8_t> frame = test::toHostFrame(backdrop(), false);
    EXPECT_EQ(0, ctx.getBkgSnapshot(frame.data(), 0, 0));
    EXPECT_EQ(-1, ctx.background.state);
    EXPECT_FALSE(ctx.initialised());

    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, kW, -kH));
    EXPECT_EQ(0, ctx.getBkgSnapshot(nullptr, kW, kH));
    EXPECT_EQ(-1, ctx.background.state);
    EXPECT_EQ(1, ctx.getBkgSnapshot(frame.data(), kW, kH));
    EXPECT_EQ(0, ctx.background.state);
    EXPECT_EQ(0, ctx.background.setPicture(nullptr, kW, kH));
    EXPECT_EQ(0, ctx.background.state);

    ctx.face.redetect = 0;
    ctx.face.trackState = 3;
    EXPECT_EQ(1, ctx.setBkg(picture.data, QX_BKG_PICTURE, kW, kH));
    EXPECT_EQ(2, ctx.background.state);
    EXPECT_EQ(1, ctx.face.redetect);
    EXPECT_EQ(-1, ctx.face.trackState);

    EXPECT_EQ(1, ctx.getBkgSnapshot(frame.data(), kW, kH));  // renewing keeps the source
    EXPECT_EQ(2, ctx.background.state);
    EXPECT_EQ(1, ctx.setBkg("", QX_BKG_VIDEO, 0, 0));  // empty path: nothing to remove
    EXPECT_EQ(2, ctx.background.state);
    EXPECT_EQ(0, ctx.setBkg(picture.data, 3, kW, kH));
    EXPECT_EQ(2, ctx.background.state);

    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, kW, -kH));
    EXPECT_EQ(-1, ctx.background.state);
}

TEST(Snapshot, PreparesBlurredAndShiftedReferences) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    for (auto [value, ref2, ref3] : {std::tuple{250, 255, 230}, {10, 30, 0}}) {
        std::vector<uint8_t> frame(64 * 48 * 3, static_cast<uint8_t>(value));
        ASSERT_EQ(1, ctx.getBkgSnapshot(frame.data(), 64, 48));
        EXPECT_EQ(cv::Scalar(value, value, value), cv::mean(ctx.background.reference));
        EXPECT_EQ(cv::Scalar(ref2, ref2, ref2), cv::mean(ctx.background.referenceBright));
        EXPECT_EQ(cv::Scalar(ref3, ref3, ref3), cv::mean(ctx.background.referenceDark));
    }
}

TEST(Snapshot, ReferenceIsTopRowFirstInBothRowOrders) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    cv::Mat expected;
    cv::blur(photo, expected, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    for (bool bottomUp : {false, true}) {
        Session ctx;
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, kW, bottomUp ? kH : -kH));
        ASSERT_EQ(1, ctx.getBkgSnapshot(test::toHostFrame(photo, bottomUp).data(), kW, kH));
        EXPECT_EQ(0, cv::countNonZero(differs(expected, ctx.background.reference))) << bottomUp;
    }
}

TEST(PictureSource, FrameSizedPictureIsCopiedAndSmallOneStretched) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, kW, kH));
    ASSERT_EQ(1, ctx.getBkgSnapshot(test::toHostFrame(photo, true).data(), kW, kH));
    ASSERT_EQ(1, ctx.background.setPicture(photo.data, kW, kH));
    EXPECT_EQ(0, cv::countNonZero(differs(photo, ctx.background.picture)));  // not row-reversed

    const uint8_t tiny[] = {10, 20, 30, 40,  50,  60,  // top row
                            70, 80, 90, 200, 210, 220};
    ASSERT_EQ(1, ctx.background.setPicture(tiny, 2, 2));
    const cv::Mat& p = ctx.background.picture;
    EXPECT_EQ(cv::Vec3b(10, 20, 30), p.at<cv::Vec3b>(0, 0));
    EXPECT_EQ(cv::Vec3b(40, 50, 60), p.at<cv::Vec3b>(0, kW - 1));
    EXPECT_EQ(cv::Vec3b(70, 80, 90), p.at<cv::Vec3b>(kH - 1, 0));
    EXPECT_EQ(cv::Vec3b(200, 210, 220), p.at<cv::Vec3b>(kH - 1, kW - 1));
    cv::Mat expected;
    cv::resize(cv::Mat(2, 2, CV_8UC3, const_cast<uint8_t*>(tiny)), expected, p.size(), 0, 0,
               cv::INTER_AREA);
    EXPECT_EQ(0, cv::countNonZero(differs(expected, p)));
}

TEST(Compositing, FrameLikeTheReferenceBecomesExactlyTheBackground) {
    const cv::Mat photo = test::loadPhoto("astronaut_320x240.png");
    cv::Mat picture;
    cv::flip(photo, picture, 1);
    for (bool bottomUp : {false, true}) {
        Replacement r(photo, picture, bottomUp);
        cv::Mat out;
        EXPECT_EQ(1, r.run(photo, out));
        EXPECT_EQ(0, cv::countNonZero(differs(picture, out))) << bottomUp;
        EXPECT_EQ(1, r.run(photo, out, 1, 0xFF));  // no edge, so no halo either
        EXPECT_EQ(0, cv::countNonZero(differs(picture, out))) << bottomUp;
    }
}

TEST(Compositing, KeepsAPersonTouchingTheBottomAndReplacesTheRest) {
    const cv::Mat shape = personShape();
    const cv::Mat frame = sceneWith(shape), picture = magentaPicture();
    Replacement r(backdrop(), picture);
    cv::Mat out;
    EXPECT_EQ(1, r.run(frame, out));

    // Kept: closer to the camera than to the magenta background.
    cv::Mat toCamera, toPicture;
    cv::absdiff(out, frame, toCamera);
    cv::absdiff(out, picture, toPicture);
    cv::cvtColor(toCamera, toCamera, cv::COLOR_BGR2GRAY);
    cv::cvtColor(toPicture, toPicture, cv::COLOR_BGR2GRAY);
    const cv::Mat kept = toCamera < toPicture;
    const double overlap = cv::countNonZero(kept & shape);
    const double either = cv::countNonZero(kept | shape);
    EXPECT_GE(overlap / either, 0.9);

    // Well inside the person the camera shows as it is; well away from it,
    // only the background.
    cv::Mat inner, outer;
    cv::erode(shape, inner, cv::Mat(), cv::Point(-1, -1), 12);
    cv::dilate(shape, outer, cv::Mat(), cv::Point(-1, -1), 12);
    EXPECT_EQ(0, cv::countNonZero(differs(frame, out) & inner));
    EXPECT_EQ(0, cv::countNonZero(differs(picture, out) & ~outer));
}

TEST(Compositing, SmallObjectsAreReplaced) {
    cv::Mat shape(kH, kW, CV_8UC1, cv::Scalar(0));
    cv::rectangle(shape, cv::Rect(40, 40, 30, 30), cv::Scalar(255), cv::FILLED);
    cv::circle(shape, cv::Point(230, 120), 12, cv::Scalar(255), cv::FILLED);
    const cv::Mat picture = magentaPicture();
    Replacement r(backdrop(), picture);
    cv::Mat out;
    EXPECT_EQ(1, r.run(sceneWith(shape), out));
    EXPECT_EQ(0, cv::countNonZero(differs(picture, out)));
}

TEST(Compositing, FrameUnlikeTheReferenceKeepsTheCameraAndAnswersZero) {
    Replacement r(cv::Mat(kH, kW, CV_8UC3, cv::Scalar(128, 128, 128)), magentaPicture());
    cv::Mat out, frame = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(20, 240, 20));
    EXPECT_EQ(0, r.run(frame, out));
    // The whole frame differs: one blob, outlined one pixel inside the
    // border, so only that thin rim is background.
    EXPECT_LT(cv::countNonZero(differs(frame, out)), kW * kH / 4);
    EXPECT_EQ(0, cv::countNonZero(differs(frame, out)(cv::Rect(20, 20, kW - 40, kH - 40))));
}

TEST(Compositing, HaloIsPureColourAtItsPeakAndTheEdgeIsNotFeathered) {
    const cv::Mat frame = sceneWith(personShape()), picture = magentaPicture();
    Replacement r(backdrop(), picture);
    cv::Mat out;
    EXPECT_EQ(1, r.run(frame, out, 1, 0xFF));
    const cv::Mat& matte = r.ctx.background.mask;
    int peak = 0, band = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int m = matte.at<uint8_t>(y, x);
            if (m == 15) {
                EXPECT_EQ(cv::Vec3b(0, 0, 255), out.at<cv::Vec3b>(y, x));
                ++peak;
            }
            if (m == 0) EXPECT_EQ(frame.at<cv::Vec3b>(y, x), out.at<cv::Vec3b>(y, x));
            if (m >= 31) EXPECT_EQ(picture.at<cv::Vec3b>(y, x), out.at<cv::Vec3b>(y, x));
            if (m >= 1 && m <= 9) ++band;
        }
    EXPECT_GT(peak, 100);
    EXPECT_GT(band, 100);

    // Without the halo the same band is feathered: some of it differs from
    // both camera and background.
    cv::Mat feathered;
    EXPECT_EQ(1, r.run(frame, feathered));
    EXPECT_GT(cv::countNonZero(differs(frame, feathered) & differs(picture, feathered)), 100);
}

TEST(Compositing, BarrierKeepsEverythingOnItsFarSide) {
    const cv::Mat scene = backdrop(), picture = magentaPicture();
    // 50 with top-down rows: the lower half of the picture is camera.
    {
        Replacement r(scene, picture, false);
        cv::Mat out;
        EXPECT_EQ(1, r.run(scene, out, 0, 0, 50));
        EXPECT_EQ(0, cv::countNonZero(differs(scene, out)(cv::Rect(0, 130, kW, 110))));
        EXPECT_EQ(0, cv::countNonZero(differs(picture, out)(cv::Rect(0, 0, kW, 110))));
    }
    // 30 with bottom-up rows: the first 30 % of the host's rows, the bottom
    // of the picture, is camera.
    {
        Replacement r(scene, picture, true);
        std::vector<uint8_t> host = test::toHostFrame(scene, true);
        const std::vector<uint8_t> camera = host;
        EXPECT_EQ(1, r.ctx.processBkg(host.data(), 0, 0, 30));
        const std::size_t row = kW * 3;
        EXPECT_EQ(0, std::memcmp(host.data(), camera.data(), row * 62));  // rows 0..61 of 72
        const cv::Mat hostPicture(kH, kW, CV_8UC3, host.data());
        cv::Mat flipped;
        cv::flip(picture, flipped, 0);
        EXPECT_EQ(0, cv::countNonZero(differs(flipped, hostPicture)(cv::Rect(0, 82, kW, 158))));
    }
}

TEST(Compositing, FarOutCutLinesDrawNoBarrier) {
    const cv::Mat scene = backdrop(), picture = magentaPicture();
    for (bool bottomUp : {false, true}) {
        Replacement r(scene, picture, bottomUp);
        for (int32_t cut : {INT_MAX, INT_MIN, 100000, -100000, 250}) {
            cv::Mat out;
            EXPECT_EQ(1, r.run(scene, out, 0, 0, cut)) << cut;
            EXPECT_EQ(0, cv::countNonZero(differs(picture, out))) << cut;
        }
    }
}

TEST(Compositing, ImagesDroppedUnderAChosenSourceAreNoReference) {
    Replacement r(backdrop(), magentaPicture());
    r.ctx.releaseBuffers();  // as an initialisation that ran out of memory leaves it
    std::vector<uint8_t> frame(kW * kH * 3, 9);
    EXPECT_EQ(-2, r.ctx.processBkg(frame.data(), 0, 0, 0));
    EXPECT_EQ(0, r.ctx.background.setPicture(frame.data(), kW, kH));
    EXPECT_EQ(std::vector<uint8_t>(kW * kH * 3, 9), frame);
}

}  // namespace
}  // namespace quexal
