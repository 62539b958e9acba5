// Calls that run out of memory, through the exports. This program replaces
// the global allocation functions so that a test can make every large
// allocation fail for the length of one call; the library's own vectors
// allocate through them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "quexal/quexal.h"
#include "session/session.h"

namespace {

// Allocations of at least this many bytes fail while it is not zero.
std::atomic<std::size_t> failFrom{0};

void* allocate(std::size_t n) {
    const std::size_t limit = failFrom.load(std::memory_order_relaxed);
    if (limit != 0 && n >= limit) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) {
    return allocate(n);
}
void* operator new[](std::size_t n) {
    return allocate(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace quexal {
namespace {

// Large allocations fail for as long as it lives.
class LargeAllocationsFail {
public:
    explicit LargeAllocationsFail(std::size_t from) { failFrom = from; }
    ~LargeAllocationsFail() { failFrom = 0; }
};

constexpr std::size_t kLarge = 64 * 1024;

std::vector<uint8_t> maskPicture(uint8_t value) {
    return std::vector<uint8_t>(200 * 190 * 4, value);
}

TEST(OutOfMemory, MaskCopyRefusedAndTheEarlierPictureStays) {
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 160, 120, 0, 0));
    const std::vector<uint8_t> first = maskPicture(0x11), second = maskPicture(0x22);
    ASSERT_EQ(1, _QX_set_mask_image(first.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0));
    {
        LargeAllocationsFail fail(kLarge);
        EXPECT_EQ(QX_MASK_IMAGE_NO_MEMORY,
                  _QX_set_mask_image(second.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0));
    }
    EXPECT_EQ(1, theContext().status);
    EXPECT_EQ(first, theContext().face.maskPixels);

    // With memory back, the same call succeeds.
    EXPECT_EQ(1, _QX_set_mask_image(second.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0));
    EXPECT_EQ(second, theContext().face.maskPixels);
}

TEST(OutOfMemory, InitRefusesTheSizeAndALaterInitRecovers) {
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 64, 48, 0, 0));
    {
        LargeAllocationsFail fail(kLarge);
        EXPECT_EQ(0, _QX_init(QUEXAL_DATA_ROOT, 640, 480, 0, 0));
    }
    EXPECT_EQ(-1, theContext().status);
    EXPECT_FALSE(theContext().initialised());
    std::vector<uint8_t> frame(640 * 480 * 3, 0x40);
    const std::vector<uint8_t> original = frame;
    EXPECT_EQ(QX_FIRE_NOT_READY, _QX_process_fire(frame.data()));
    EXPECT_EQ(QX_COLOR_NOT_READY, _QX_process_color(frame.data(), 16));
    EXPECT_EQ(original, frame);

    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 640, 480, 0, 0));
    EXPECT_EQ(1, _QX_process_color(frame.data(), 16));
}

}  // namespace
}  // namespace quexal
