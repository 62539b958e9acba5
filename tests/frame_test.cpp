// The library frame: geometry, row order, initialisation paths, refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/frame_io.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

TEST(FlipRows, ReversesRowOrder) {
    const int w = 3, h = 4;
    std::vector<uint8_t> src(w * h * 3), dst(w * h * 3, 0xAA);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);
    flipRows(src.data(), dst.data(), w, h);
    for (int y = 0; y < h; ++y)
        EXPECT_EQ(0, std::memcmp(&dst[y * w * 3], &src[(h - 1 - y) * w * 3], w * 3));
}

TEST(FlipRows, SingleRowIsCopiedAndEmptySizesWriteNothing) {
    std::vector<uint8_t> src = {1, 2, 3, 4, 5, 6}, dst(6, 0);
    flipRows(src.data(), dst.data(), 2, 1);
    EXPECT_EQ(src, dst);
    std::vector<uint8_t> untouched(6, 9);
    flipRows(src.data(), untouched.data(), 0, 1);
    flipRows(src.data(), untouched.data(), 2, 0);
    flipRows(src.data(), untouched.data(), -1, 1);
    flipRows(nullptr, untouched.data(), 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(6, 9), untouched);
}

TEST(Init, RecordsGeometryAndRowOrder) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 640, -480));
    EXPECT_EQ(640, ctx.geometry.width);
    EXPECT_EQ(480, ctx.geometry.height);
    EXPECT_EQ(307200, ctx.geometry.pixelCount);
    EXPECT_EQ(0, ctx.geometry.reverseRows);
    EXPECT_EQ(0, ctx.status);
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 640, 480));
    EXPECT_EQ(1, ctx.geometry.reverseRows);
}

TEST(Init, ReducedDetectionSizeRoundsHalvesToEven) {
    Session ctx(BufferPolicy::AtInit);
    const struct {
        int w, h, sw, sh;
    } cases[] = {{640, 480, 492, 369}, {320, -240, 246, 185}, {352, 288, 271, 222}};
    for (const auto& c : cases) {
        ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, c.w, c.h));
        EXPECT_EQ(cv::Size(c.sw, c.sh), ctx.face.smallGrayImage.size()) << c.w << "x" << c.h;
    }
}

TEST(Init, WorkingImagesArePackedForOddWidths) {
    Session ctx(BufferPolicy::AtInit);
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 333, 17));
    for (const cv::Mat* m : {&ctx.face.frameImage, &ctx.face.grayImage, &ctx.background.haloLayer,
                             &ctx.background.picture}) {
        EXPECT_TRUE(m->isContinuous());
        EXPECT_EQ(cv::Size(333, 17), m->size());
    }
}

TEST(Init, BadSizesAreRefusedAndKeepTheOldGeometry) {
    Session ctx(BufferPolicy::AtInit);
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    for (auto [w, h] : {std::pair{0, 48}, {-64, 48}, {64, 0}, {1 << 16, 1 << 14}}) {
        EXPECT_EQ(0, ctx.init(QUEXAL_DATA_ROOT, w, h)) << w << "x" << h;
        EXPECT_EQ(-1, ctx.status);
        EXPECT_EQ(64, ctx.geometry.width);
        EXPECT_EQ(cv::Size(64, 48), ctx.face.frameImage.size());
    }
}

TEST(Init, MissingEyeCascadeFailsThenAGoodPathSucceeds) {
    const std::string broken = test::makeDataFolderWithout("eye_8.xml");
    Session ctx;
    EXPECT_EQ(0, ctx.init(broken.c_str(), 64, 48));
    EXPECT_EQ(-1, ctx.status);
    EXPECT_EQ(1, ctx.cascadesPending);
    EXPECT_EQ(0, ctx.lens.mode);
    EXPECT_FALSE(ctx.initialised());
    EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    EXPECT_EQ(0, ctx.status);
    EXPECT_EQ(0, ctx.cascadesPending);
}

TEST(Init, PathThatDoesNotFitTheNameBufferIsRefused) {
    Session ctx;
    const std::string longPath(kCascadePathCapacity, 'a');
    EXPECT_EQ(0, ctx.init(longPath.c_str(), 64, 48));
    EXPECT_EQ(0, ctx.init(nullptr, 64, 48));
    EXPECT_EQ(-1, ctx.status);
}

TEST(Init, GoodInitAfterBadSizeRestoresStatus) {
    Session ctx;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    EXPECT_EQ(0, ctx.init(QUEXAL_DATA_ROOT, 0, 48));
    EXPECT_EQ(-1, ctx.status);
    EXPECT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 32, 24));
    EXPECT_EQ(0, ctx.status);
}

TEST(Init, ReinitResetsPerSizeState) {
    Session ctx(BufferPolicy::AtInit);
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 64, 48));
    ctx.background.state = kPictureSource;
    ctx.lens.mode = 3;
    ctx.face.trackState = 1;
    ctx.fire.warmupPending = 0;
    ctx.face.faceX = 7;
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 32, 24));
    EXPECT_EQ(-1, ctx.background.state);
    EXPECT_EQ(0, ctx.lens.mode);
    EXPECT_EQ(-1, ctx.face.trackState);
    EXPECT_EQ(1, ctx.fire.warmupPending);
    EXPECT_EQ(0, ctx.face.faceX);
    EXPECT_EQ(cv::Size(32, 24), ctx.background.haloLayer.size());
}

TEST(Context, TeardownWithoutInitIsSafe) {
    Session ctx;
    ctx.releaseBuffers();
    ctx.releaseBuffers();
    EXPECT_EQ(-1, ctx.status);
}

TEST(FrameIo, CopiesReverseRowsOnlyForPositiveHeights) {
    Session ctx;
    cv::Mat image(3, 5, CV_8UC3);
    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 5, 3));
    std::vector<uint8_t> frame(5 * 3 * 3);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i);
    ctx.geometry.frameToImage(frame.data(), image);
    EXPECT_EQ(0, std::memcmp(image.ptr(0), &frame[2 * 15], 15));
    std::vector<uint8_t> back(frame.size());
    ctx.geometry.imageToFrame(image, back.data());
    EXPECT_EQ(frame, back);

    ASSERT_EQ(1, ctx.init(QUEXAL_DATA_ROOT, 5, -3));
    ctx.geometry.frameToImage(frame.data(), image);
    EXPECT_EQ(0, std::memcmp(image.ptr(0), frame.data(), frame.size()));
}

TEST(Exports, CheckDinamicBkgAlwaysAnswersZero) {
    for (int v : {0, 1, -1, 12345}) EXPECT_EQ(0, _QX_check_dinamic_bkg(v));
}

TEST(Exports, BeforeInitEveryEffectRefusesAndLeavesTheFrame) {
    test::Frame frame(64, 48, 77);
    const auto before = frame.bytes;
    EXPECT_EQ(-2, _QX_process_fire(frame.data()));
    EXPECT_EQ(-2, _QX_process_lens(frame.data(), 1));
    EXPECT_EQ(0, _QX_process_mask(frame.data(), 0, 0));
    EXPECT_EQ(-3, _QX_set_mask_image(frame.data(), 200, 190, 1, 100, 0, 0));
    for (int mode : {16, 17, 18, 24, 25}) EXPECT_EQ(-2, _QX_process_color(frame.data(), mode));
    EXPECT_EQ(-2, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
    EXPECT_EQ(0, _QX_get_bkg_snapshot(frame.data(), 64, 48, 0));
    EXPECT_EQ(before, frame.bytes);
}

TEST(Exports, NullPointersAreRefused) {
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 64, 48, 0, 0));
    EXPECT_EQ(0, _QX_init(nullptr, 0, 48, 0, 0));
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 64, 48, 0, 0));
    EXPECT_EQ(0, _QX_process_mask(nullptr, 0, 0));
    EXPECT_EQ(-2, _QX_process_lens(nullptr, 1));
    EXPECT_EQ(-2, _QX_process_color(nullptr, 16));
    EXPECT_EQ(-2, _QX_process_fire(nullptr));
    EXPECT_EQ(-2, _QX_process_bkg(nullptr, 0, 0, 0, 0));
    EXPECT_EQ(0, _QX_set_bkg(nullptr, 1, 0, 0, 0));
    EXPECT_EQ(0, _QX_set_bkg(nullptr, 2, 4, 4, 0));
    EXPECT_EQ(0, _QX_get_bkg_snapshot(nullptr, 64, 48, 0));
    EXPECT_EQ(-2, _QX_set_mask_image(nullptr, 200, 190, 1, 100, 0, 0));
}

}  // namespace
}  // namespace quexal
