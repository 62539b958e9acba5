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

#include "quexal/quexal.h"
#include "session/session.h"
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

class HostileVideo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::writeTestVideo(clip, 32, 24, 20));
        ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
        ASSERT_EQ(1, _QX_get_bkg_snapshot(scene.data(), kW, kH, 0));
    }
    void TearDown() override {
        for (const std::string& p : {clip, other}) fs::remove(p);
    }

    // A background picture still works, and frames come out composited.
    void expectLibraryStillWorks() {
        std::vector<uint8_t> picture(20 * 10 * 3, 200);
        EXPECT_EQ(1, _QX_set_bkg(picture.data(), QX_BKG_PICTURE, 20, 10, 0));
        test::Frame frame(kW, kH, 90);
        const int result = _QX_process_bkg(frame.data(), 0, 0, 0, 0);
        EXPECT_TRUE(result == 1 || result == 0) << result;
    }

    // A refused video keeps bkgState as it was. With only the snapshot, or
    // with a video before (whose reader is now the unopened one), frames are
    // then refused untouched.
    void expectRefused(const std::string& path) {
        const int state = theContext().background.state;
        EXPECT_EQ(0, _QX_set_bkg(path.c_str(), QX_BKG_VIDEO, 0, 0, 0)) << path;
        EXPECT_EQ(state, theContext().background.state);
        test::Frame frame(kW, kH, 33);
        const auto before = frame.bytes;
        if (state == 0 || state == 1) {
            EXPECT_EQ(QX_BKG_NO_SOURCE, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
            EXPECT_EQ(before, frame.bytes);
        }
    }

    std::string clip = test::tempPath("hostile-clip.avi");
    std::string other = test::tempPath("hostile-other.avi");
    test::Frame scene{kW, kH, 120};
};

TEST_F(HostileVideo, EmptyRandomAndMissingFilesAreRefused) {
    test::writeFile(other, {});
    expectRefused(other);
    test::writeFile(other, randomBytes(64 * 1024, 7));
    expectRefused(other);
    // Random bytes behind a real AVI header.
    std::vector<uint8_t> bytes = test::readFile(clip);
    const std::vector<uint8_t> noise = randomBytes(bytes.size(), 11);
    std::copy(noise.begin() + 512, noise.end(), bytes.begin() + 512);
    test::writeFile(other, bytes);
    const int headed = _QX_set_bkg(other.c_str(), QX_BKG_VIDEO, 0, 0, 0);
    EXPECT_TRUE(headed == 0 || headed == 1);
    if (headed == 1) {
        test::Frame frame(kW, kH, 33);
        for (int i = 0; i < 20; ++i) {
            const int r = _QX_process_bkg(frame.data(), 0, 0, 0, 0);
            EXPECT_TRUE(r >= -1 && r <= 1) << r;
        }
        ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, kW, kH, 0, 0));
        ASSERT_EQ(1, _QX_get_bkg_snapshot(scene.data(), kW, kH, 0));
    }
    expectRefused(test::tempPath("no-such-clip.avi"));
    expectRefused(fs::temp_directory_path().string());
    // An empty path is no file: it only stops a playing video.
    EXPECT_EQ(1, _QX_set_bkg("", QX_BKG_VIDEO, 0, 0, 0));
    expectLibraryStillWorks();
}

TEST_F(HostileVideo, TruncatedFiles) {
    const std::vector<uint8_t> bytes = test::readFile(clip);
    ASSERT_GT(bytes.size(), 4096u);
    // Cut inside the header: nothing to decode.
    test::writeFile(other, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
    expectRefused(other);
    // Cut half way: the frames that are there play, in a loop.
    test::writeFile(other, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    ASSERT_EQ(1, _QX_set_bkg(other.c_str(), QX_BKG_VIDEO, 0, 0, 0));
    test::Frame frame(kW, kH, 33);
    int composited = 0;
    for (int i = 0; i < 60; ++i) {
        const int r = _QX_process_bkg(frame.data(), 0, 0, 0, 0);
        EXPECT_TRUE(r >= -1 && r <= 1) << r;
        composited += r >= 0;
    }
    EXPECT_GT(composited, 0);
    expectLibraryStillWorks();
}

TEST_F(HostileVideo, FileDeletedWhilePlaying) {
    ASSERT_EQ(1, _QX_set_bkg(clip.c_str(), QX_BKG_VIDEO, 0, 0, 0));
    test::Frame frame(kW, kH, 33);
    EXPECT_GE(_QX_process_bkg(frame.data(), 0, 0, 0, 0), 0);
    fs::remove(clip);
    // Forty frames 60 ms apart run past the end of the 2 s clip: the
    // reader may keep playing what it holds or run dry, but every answer is
    // a documented one and a refused frame is left as it came.
    for (int i = 0; i < 40; ++i) {
        test::Frame f(kW, kH, static_cast<uint8_t>(i));
        const auto before = f.bytes;
        const int r = _QX_process_bkg(f.data(), 1, 0xFF0000, 0, 0);
        ASSERT_TRUE(r >= -1 && r <= 1) << r;
        if (r < 0) EXPECT_EQ(before, f.bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    expectRefused(clip);
    expectLibraryStillWorks();
}

class HostileCascade : public ::testing::TestWithParam<const char*> {};

// Each broken face or eye cascade makes the first init fail with status -1
// and nothing printed; a good folder afterwards succeeds.
TEST_P(HostileCascade, IsRefusedAndAGoodFolderStillWorks) {
    const std::string file = GetParam();
    const std::string root = test::makeDataFolderWithout(file);
    const std::string target = root + "/QXdata/" + file;
    const std::vector<std::vector<uint8_t>> contents = {
        {},                                                  // empty
        randomBytes(8192, 3),                                // not XML
        {'<', '?', 'x', 'm', 'l', ' ', 'v', 'e', 'r', 's'},  // XML cut short
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
