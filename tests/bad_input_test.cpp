// Hostile arguments at the exports: every kind of bad argument gets its
// documented code and touches nothing (the README's "Bad input" table).
// Null pointers and calls before init are covered in frame_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

constexpr int kW = 64, kH = 48;

class BadInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0)); }
    test::Frame frame{kW, kH, 0};
    void fillFrame() {
        for (std::size_t i = 0; i < frame.bytes.size(); ++i)
            frame.bytes[i] = static_cast<uint8_t>(i * 31);
    }
};

// Sides whose four-byte image would overflow an int32, including products
// that overflow an int64 once multiplied by four.
TEST_F(BadInput, InitRefusesSizesTooLargeAndKeepsTheOldGeometry) {
    const std::pair<int, int> sizes[] = {{1 << 16, 1 << 14}, {1 << 30, INT_MIN},
                                         {INT_MAX, INT_MAX}, {INT_MAX, -INT_MAX},
                                         {INT_MIN, 1},       {1, INT_MIN}};
    for (auto [w, h] : sizes) {
        EXPECT_EQ(0, _QX_init(QUEXAL_DATA_ROOT, w, h, 0, 0)) << w << "x" << h;
        EXPECT_EQ(-1, theContext().status);
        EXPECT_EQ(kW, theContext().geometry.width);
        EXPECT_EQ(kH, theContext().geometry.height);
    }
    // The library is still usable at the size it had.
    EXPECT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
    EXPECT_EQ(0, theContext().status);
}

TEST_F(BadInput, InitIgnoresThePathOnceTheCascadesAreLoaded) {
    EXPECT_EQ(1, _QX_init(nullptr, 32, 24, 0, 0));
    EXPECT_EQ(1, _QX_init("/no/such/folder", 32, -24, 0, 0));
    EXPECT_EQ(32, theContext().geometry.width);
}

TEST_F(BadInput, MaskEffectWithoutAPictureRefusesEveryMode) {
    fillFrame();
    const auto before = frame.bytes;
    for (int mode : {0, 1, 2, 3, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(QX_MASK_NOT_READY, _QX_process_mask(frame.data(), mode, 0)) << mode;
    EXPECT_EQ(before, frame.bytes);
}

TEST_F(BadInput, ColourRefusesUnknownModesAndLeavesTheFrame) {
    fillFrame();
    const auto before = frame.bytes;
    for (int mode : {0, 1, 15, 19, 20, 21, 22, 23, 26, -16, INT_MIN, INT_MAX})
        EXPECT_EQ(QX_COLOR_BAD_MODE, _QX_process_color(frame.data(), mode)) << mode;
    EXPECT_EQ(before, frame.bytes);
}

// With a picture registered every mode value is taken; a frame without a
// face comes back as it was.
TEST_F(BadInput, MaskEffectTakesAnyModeAndLeavesAFacelessFrame) {
    std::vector<uint8_t> picture(100 * 90 * 4, 255);
    ASSERT_EQ(1, _QX_set_mask_image(picture.data(), 100, 90, 3, QX_MASK_MAGIC, 0, 0));
    const auto before = frame.bytes;
    for (int mode : {0, 1, 2, 3, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(1, _QX_process_mask(frame.data(), mode, 0)) << mode;
    EXPECT_EQ(before, frame.bytes);
}

TEST_F(BadInput, LensRefusesModesOutsideOneToSeven) {
    fillFrame();
    const auto before = frame.bytes;
    for (int mode : {0, 8, -1, 16, INT_MIN, INT_MAX})
        EXPECT_EQ(QX_LENS_BAD_MODE, _QX_process_lens(frame.data(), mode)) << mode;
    EXPECT_EQ(before, frame.bytes);
}

// A refused init puts status at -1: the fire refuses until a good one.
TEST_F(BadInput, FireRefusesAfterARefusedInit) {
    fillFrame();
    const auto before = frame.bytes;
    ASSERT_EQ(0, _QX_init(QUEXAL_DATA_ROOT, 0, kH, 0, 0));
    EXPECT_EQ(QX_FIRE_NOT_READY, _QX_process_fire(frame.data()));
    EXPECT_EQ(before, frame.bytes);
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
    EXPECT_EQ(1, _QX_process_fire(frame.data()));
}

// A refused picture leaves the one registered before in force.
TEST_F(BadInput, MaskPictureRefusalsKeepTheRegisteredPicture) {
    std::vector<uint8_t> picture(200 * 190 * 4, 7), other(200 * 190 * 4, 9);
    ASSERT_EQ(1, _QX_set_mask_image(picture.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0));
    const struct {
        int w, h, kind, magic;
    } bad[] = {
        {200, 190, 1, 99},    {200, 190, 1, 0},   {200, 190, 5, 100},         {200, 190, 0, 100},
        {200, 190, -1, 100},  {100, 90, 1, 100},  {200, 190, 3, 100},         {0, 0, 2, 100},
        {-200, -190, 8, 100}, {201, 190, 8, 100}, {INT_MAX, INT_MAX, 4, 100},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(QX_MASK_IMAGE_BAD,
                  _QX_set_mask_image(other.data(), b.w, b.h, b.kind, b.magic, 0, 0))
            << b.w << "x" << b.h << " kind " << b.kind << " magic " << b.magic;
    }
    EXPECT_EQ(QX_MASK_IMAGE_BAD, _QX_set_mask_image(nullptr, 200, 190, 1, QX_MASK_MAGIC, 0, 0));
    EXPECT_EQ(1, theContext().status);
    EXPECT_EQ(1, theContext().face.maskKind);
    EXPECT_EQ(picture, theContext().face.maskPixels);
    EXPECT_EQ(std::vector<uint8_t>(200 * 190 * 4, 9), other);
}

// The checks come in the order magic, kind, size, and nothing changes.
TEST_F(BadInput, TestMaskImageNamesTheFirstFaultAndChangesNothing) {
    EXPECT_EQ(QX_TEST_MASK_BAD_MAGIC, _QX_test_mask_image(1, 1, 99, 101, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_KIND, _QX_test_mask_image(1, 1, 99, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_KIND, _QX_test_mask_image(200, 190, 0, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_SIZE, _QX_test_mask_image(100, 90, 8, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_SIZE, _QX_test_mask_image(200, 190, 4, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_SIZE, _QX_test_mask_image(INT_MIN, INT_MIN, 1, 100, 0, 0));
    EXPECT_EQ(1, _QX_test_mask_image(100, 90, 3, 100, 0, 0));
    EXPECT_EQ(0, theContext().status);
    EXPECT_TRUE(theContext().face.maskPixels.empty());
}

// A snapshot of the wrong size drops the reference: backgrounds are refused
// and frames come back untouched until a snapshot of the right size.
TEST_F(BadInput, SnapshotOfTheWrongSizeDropsTheReference) {
    std::vector<uint8_t> picture(8 * 8 * 3, 50);
    const std::pair<int, int> sizes[] = {{kW + 1, kH}, {kW, kH - 1}, {kH, kW},          {0, 0},
                                         {-kW, kH},    {kW, -kH},    {INT_MIN, INT_MIN}};
    for (auto [w, h] : sizes) {
        fillFrame();
        ASSERT_EQ(1, _QX_get_bkg_snapshot(frame.data(), kW, kH, 0));
        ASSERT_EQ(1, _QX_set_bkg(picture.data(), QX_BKG_PICTURE, 8, 8, 0));
        const auto before = frame.bytes;
        EXPECT_EQ(QX_SNAPSHOT_REFUSED, _QX_get_bkg_snapshot(frame.data(), w, h, 0))
            << w << "x" << h;
        EXPECT_EQ(before, frame.bytes);
        EXPECT_EQ(QX_BKG_NO_REFERENCE, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
        EXPECT_EQ(before, frame.bytes);
        EXPECT_EQ(QX_SET_BKG_REFUSED, _QX_set_bkg(picture.data(), QX_BKG_PICTURE, 8, 8, 0));
    }
}

TEST_F(BadInput, SetBkgRefusesUnknownTypesAndBadPictures) {
    std::vector<uint8_t> picture(8 * 8 * 3, 50);
    EXPECT_EQ(QX_SET_BKG_REFUSED,
              _QX_set_bkg(picture.data(), QX_BKG_PICTURE, 8, 8, 0));  // no snapshot
    ASSERT_EQ(1, _QX_get_bkg_snapshot(frame.data(), kW, kH, 0));
    for (int type : {0, 3, -1, -2, INT_MIN, INT_MAX})
        EXPECT_EQ(QX_SET_BKG_REFUSED, _QX_set_bkg(picture.data(), type, 8, 8, 0)) << type;
    for (auto [w, h] : {std::pair{0, 8}, {8, 0}, {-8, 8}, {8, -8}, {INT_MIN, INT_MIN}})
        EXPECT_EQ(QX_SET_BKG_REFUSED, _QX_set_bkg(picture.data(), QX_BKG_PICTURE, w, h, 0));
    EXPECT_EQ(0, theContext().background.state);
    EXPECT_EQ(std::vector<uint8_t>(8 * 8 * 3, 50), picture);
    fillFrame();
    const auto before = frame.bytes;
    EXPECT_EQ(QX_BKG_NO_SOURCE, _QX_process_bkg(frame.data(), 1, 0xFFFFFF, 50, 0));
    EXPECT_EQ(before, frame.bytes);
}

// A null video path is a request, not a pointer the library reads: like
// the empty path it stops the video and answers 1.
TEST_F(BadInput, NullVideoPathStopsTheVideoLikeAnEmptyOne) {
    EXPECT_EQ(QX_SET_BKG_REFUSED, _QX_set_bkg(nullptr, QX_BKG_VIDEO, 0, 0, 0));  // no snapshot
    ASSERT_EQ(1, _QX_get_bkg_snapshot(frame.data(), kW, kH, 0));
    EXPECT_EQ(1, _QX_set_bkg(nullptr, QX_BKG_VIDEO, 0, 0, 0));
    EXPECT_EQ(0, theContext().background.state);  // nothing played: still no source

    const std::string clip = test::tempPath("null-path.avi");
    ASSERT_TRUE(test::writeTestVideo(clip, kW, kH, 3));
    ASSERT_EQ(1, _QX_set_bkg(clip.c_str(), QX_BKG_VIDEO, 0, 0, 0));
    std::remove(clip.c_str());
    ASSERT_NE(nullptr, theContext().background.video);
    EXPECT_EQ(1, _QX_set_bkg(nullptr, QX_BKG_VIDEO, 7, 7, 7));
    EXPECT_EQ(nullptr, theContext().background.video);
    EXPECT_EQ(1, theContext().background.state);

    // A null picture would be read: refused, the video state kept.
    EXPECT_EQ(QX_SET_BKG_REFUSED, _QX_set_bkg(nullptr, QX_BKG_PICTURE, 8, 8, 0));
    EXPECT_EQ(1, theContext().background.state);
}

// Any halo, halo colour and cut line value is taken.
TEST_F(BadInput, ProcessBkgTakesAnyHaloColourAndCutLine) {
    std::vector<uint8_t> picture(5 * 3 * 3, 200);
    ASSERT_EQ(1, _QX_get_bkg_snapshot(frame.data(), kW, kH, 0));
    ASSERT_EQ(1, _QX_set_bkg(picture.data(), QX_BKG_PICTURE, 5, 3, 0));
    for (int value : {-1, 0, 1, 99, 100, 101, 1000, INT_MIN, INT_MAX}) {
        fillFrame();
        const int r = _QX_process_bkg(frame.data(), value, value, value, value);
        EXPECT_TRUE(r == 1 || r == 0) << value << " -> " << r;
    }
}

}  // namespace
}  // namespace quexal
