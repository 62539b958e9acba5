// Files that are not what they claim: videos that are truncated, empty,
// random bytes or deleted while they play, cascades that are not XML. Each
// gets its documented refusal, nothing hangs (ctest's timeout would fail the
// test), nothing is printed, and the library keeps working afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/effect_context.h"
#include "quexal/quexal.h"
#include "test_support.h"

namespace quexal {
namespace {

namespace fs = std::filesystem;

constexpr int kW = 64, kH = 48;

std::vector<uint8_t> randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(gen());
    return bytes;
}

class HostileCascade : public ::testing::TestWithParam<const char*> {};

// Each broken face or eye cascade makes the first init fail with status -1
// and nothing printed; a good folder afterwards succeeds.
TEST_P(HostileCascade, IsRefusedAndAGoodFolderStillWorks) {
    const std::string file = GetParam();
    const std::string root = test::makeDataFolderWithout(file);
    const std::string target = root + "/QXdata/" + file;
    const std::vector<std::vector<uint8_t>> contents = {
        {},                                                      // empty
        randomBytes(8192, 3),                                    // not XML
        {'<', '?', 'x', 'm', 'l', ' ', 'v', 'e', 'r', 's'},      // XML cut short
        std::vector<uint8_t>({'<', 'o', 'p', 'e', 'n', 'c', 'v', '_', 's', 't', 'o', 'r', 'a', 'g',
                              'e', '>', '<', 'x', '>', '1', '<', '/', 'x', '>', '<', '/', 'o', 'p',
                              'e', 'n', 'c', 'v', '_', 's', 't', 'o', 'r', 'a', 'g', 'e', '>'}),
    };
    for (const auto& bytes : contents) {
        test::writeFile(target, bytes);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(0, _QX_init(root.c_str(), kW, kH, 0, 0));
        EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
        EXPECT_EQ(-1, theContext().status);
        EXPECT_EQ(1, theContext().cascadesPending);
        test::Frame frame(kW, kH, 5);
        EXPECT_EQ(QX_FIRE_NOT_READY, _QX_process_fire(frame.data()));
        EXPECT_EQ(test::Frame(kW, kH, 5).bytes, frame.bytes);
    }
    // A folder where the cascade is a folder.
    fs::remove(target);
    fs::create_directories(target);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, _QX_init(root.c_str(), kW, kH, 0, 0));
    EXPECT_EQ(0, _QX_init((root + "-missing").c_str(), kW, kH, 0, 0));
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());

    EXPECT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
    EXPECT_EQ(0, theContext().status);
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileCascade,
                         ::testing::Values("haarcascade_frontalface_alt.xml", "eye_8.xml"));

}  // namespace
}  // namespace quexal
