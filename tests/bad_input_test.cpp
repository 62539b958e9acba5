// Hostile arguments at the exports: every kind of bad argument gets its
// documented code and touches nothing (the README's "Bad input" table).
// Null pointers and calls before init are covered in frame_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/effect_context.h"
#include "quexal/quexal.h"
#include "test_support.h"

namespace quexal {
namespace {

constexpr int kW = 64, kH = 48;

class BadInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0)); }
    test::Frame frame{kW, kH, 0};
    void fillFrame() {
        for (std::size_t i = 0; i < frame.bytes.size(); ++i) frame.bytes[i] = static_cast<uint8_t>(i * 31);
    }
};

// Sides whose four-byte image would overflow an int32, including products
// that overflow an int64 once multiplied by four.
TEST_F(BadInput, InitRefusesSizesTooLargeAndKeepsTheOldGeometry) {
    const std::pair<int, int> sizes[] = {{1 << 16, 1 << 14}, {1 << 30, INT_MIN}, {INT_MAX, INT_MAX},
                                         {INT_MAX, -INT_MAX}, {INT_MIN, 1}, {1, INT_MIN}};
    for (auto [w, h] : sizes) {
        EXPECT_EQ(0, _QX_init(QUEXAL_DATA_ROOT, w, h, 0, 0)) << w << "x" << h;
        EXPECT_EQ(-1, theContext().status);
        EXPECT_EQ(kW, theContext().frameWidth);
        EXPECT_EQ(kH, theContext().frameHeight);
    }
    // The library is still usable at the size it had.
    EXPECT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
    EXPECT_EQ(0, theContext().status);
}

}  // namespace
}  // namespace quexal
