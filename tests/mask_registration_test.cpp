// Registering the mask picture through the exports: the result codes in
// the order they are tested, and what a registration leaves behind.
#include <gtest/gtest.h>

#include <vector>

#include "quexal/quexal.h"
#include "session/session.h"

namespace quexal {
namespace {

std::vector<uint8_t> picture(int w, int h, uint8_t fill) {
    return std::vector<uint8_t>(static_cast<std::size_t>(w) * h * 4, fill);
}

int setMask(const std::vector<uint8_t>& pixels, int w, int h, int kind, int magic = 100) {
    return _QX_set_mask_image(pixels.data(), w, h, kind, magic, 0, 0);
}

TEST(SetMaskImage, RefusedBeforeInitEvenWithValidArguments) {
    const auto pixels = picture(200, 190, 7);
    EXPECT_EQ(QX_MASK_IMAGE_NOT_READY, setMask(pixels, 200, 190, 1));
    EXPECT_EQ(QX_MASK_IMAGE_NOT_READY, _QX_set_mask_image(nullptr, 200, 190, 1, 100, 0, 0));
    // A bad frame size puts the library back to "not initialised".
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 320, -240, 0, 0));
    ASSERT_EQ(0, _QX_init(QUEXAL_DATA_ROOT, 0, -240, 0, 0));
    EXPECT_EQ(QX_MASK_IMAGE_NOT_READY, setMask(pixels, 200, 190, 1));
}

TEST(SetMaskImage, RefusesBadMagicKindSizeAndNullPixels) {
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 320, -240, 0, 0));
    const auto big = picture(200, 190, 1), small = picture(100, 90, 1);
    EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(big, 200, 190, 1, 99));
    EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(big, 200, 190, 1, 101));
    for (int kind : {0, 5, 6, 7, 9, -1}) EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(big, 200, 190, kind));
    EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(small, 100, 90, 1));
    EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(big, 200, 190, 3));
    EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(big, 190, 200, 1));
    EXPECT_EQ(QX_MASK_IMAGE_BAD, _QX_set_mask_image(nullptr, 200, 190, 1, 100, 0, 0));
    EXPECT_EQ(0, theContext().status);
    EXPECT_EQ(0, theContext().face.redetect);
}

TEST(SetMaskImage, StoresACopyAndReplacesTheEarlierOne) {
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 320, -240, 0, 0));
    auto first = picture(200, 190, 0);
    first[5] = 42;
    ASSERT_EQ(QX_DONE, setMask(first, 200, 190, 8));
    first[5] = 0;  // the host's buffer is not kept
    const Session& ctx = theContext();
    EXPECT_EQ(1, ctx.status);
    EXPECT_EQ(1, ctx.face.redetect);
    EXPECT_EQ(8, ctx.face.maskKind);
    EXPECT_EQ(200.0f / 190.0f, ctx.face.maskAspect);
    ASSERT_EQ(200u * 190 * 4, ctx.face.maskPixels.size());
    EXPECT_EQ(42, ctx.face.maskPixels[5]);

    const auto second = picture(100, 90, 9);
    ASSERT_EQ(QX_DONE, setMask(second, 100, 90, 4));
    EXPECT_EQ(second, ctx.face.maskPixels);
    EXPECT_EQ(100, ctx.face.maskWidth);
    EXPECT_EQ(90, ctx.face.maskHeight);
    EXPECT_EQ(static_cast<float>(100.0 / 90.0), ctx.face.maskAspect);

    // A refusal leaves the registered picture as it was; so does a new size.
    EXPECT_EQ(QX_MASK_IMAGE_BAD, setMask(first, 200, 190, 4));
    EXPECT_EQ(second, ctx.face.maskPixels);
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 640, -480, 0, 0));
    EXPECT_EQ(1, ctx.status);
    EXPECT_EQ(second, ctx.face.maskPixels);
}

TEST(TestMaskImage, CodesInTheirOwnOrderWithoutInitOrStateChange) {
    EXPECT_EQ(QX_DONE, _QX_test_mask_image(200, 190, 1, 100, 0, 0));
    for (int kind : {2, 8}) EXPECT_EQ(QX_DONE, _QX_test_mask_image(200, 190, kind, 100, 0, 0));
    for (int kind : {3, 4}) EXPECT_EQ(QX_DONE, _QX_test_mask_image(100, 90, kind, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_MAGIC, _QX_test_mask_image(200, 190, 1, 99, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_MAGIC, _QX_test_mask_image(1, 1, 5, 101, 0, 0));
    for (int kind : {0, 5, 6, 7, 9})
        EXPECT_EQ(QX_TEST_MASK_BAD_KIND, _QX_test_mask_image(1, 1, kind, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_SIZE, _QX_test_mask_image(100, 90, 1, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_SIZE, _QX_test_mask_image(200, 190, 3, 100, 0, 0));
    EXPECT_EQ(QX_TEST_MASK_BAD_SIZE, _QX_test_mask_image(190, 200, 1, 100, 0, 0));
    EXPECT_EQ(-1, theContext().status);
}

}  // namespace
}  // namespace quexal
