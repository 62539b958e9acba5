// The video file reader, on clips generated into a temporary folder: size,
// row order, real-time playback, looping, refusals and shutdown.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "background/video/video_reader.h"
#include "test_support.h"

namespace quexal {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Each second of a clip has its own pair of colours, top half and bottom
// half, far enough apart to survive JPEG compression.
struct Halves {
    cv::Vec3b top, bottom;
};
const Halves kSeconds[] = {
    {{255, 0, 0}, {0, 255, 255}},  // blue over yellow
    {{0, 255, 0}, {255, 0, 255}},  // green over magenta
    {{0, 0, 255}, {255, 255, 0}},  // red over cyan
};
constexpr int kSecondCount = 3;

cv::Mat halvesImage(cv::Size size, const Halves& colours) {
    cv::Mat image(size, CV_8UC3, colours.bottom);
    image.rowRange(0, size.height / 2).setTo(colours.top);
    return image;
}

// Writes `seconds` seconds of MJPG at `fps`, second s showing kSeconds[s].
void writeClip(const fs::path& path, cv::Size size, double fps, int seconds) {
    // OpenCV's own MJPEG writer keeps odd sizes (FFmpeg's rounds them down).
    cv::VideoWriter writer(path.string(), cv::CAP_OPENCV_MJPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
    ASSERT_TRUE(writer.isOpened()) << path;
    for (int s = 0; s < seconds; ++s) {
        const cv::Mat image = halvesImage(size, kSeconds[s % kSecondCount]);
        for (int i = 0; i < static_cast<int>(std::lround(fps)); ++i) writer.write(image);
    }
}

// A bare stream of JPEG pictures: FFmpeg reports a nonsense frame rate for
// it and cannot seek back in it, so playback must reopen it to loop.
void writeBareJpegStream(const fs::path& path, cv::Size size, int framesPerColour) {
    std::ofstream out(path, std::ios::binary);
    for (int s = 0; s < 2; ++s) {
        std::vector<uint8_t> jpeg;
        cv::imencode(".jpg", halvesImage(size, kSeconds[s]), jpeg);
        for (int i = 0; i < framesPerColour; ++i)
            out.write(reinterpret_cast<const char*>(jpeg.data()),
                      static_cast<std::streamsize>(jpeg.size()));
    }
}

int colourDistance(const uint8_t* pixel, cv::Vec3b colour) {
    int d = 0;
    for (int c = 0; c < 3; ++c) d += std::abs(int{pixel[c]} - int{colour[c]});
    return d;
}

// Which second of kSeconds a grabbed frame shows, judged from the row
// nearest the middle of its first (bottom) half; -1 if none is close.
int secondShown(const std::vector<uint8_t>& frame, int width, int height) {
    const int row = height / 4;
    const uint8_t* pixel = &frame[(static_cast<std::size_t>(row) * width + width / 2) * 3];
    for (int s = 0; s < kSecondCount; ++s)
        if (colourDistance(pixel, kSeconds[s].bottom) < 90) return s;
    return -1;
}

int processThreadCount() {
    return static_cast<int>(test::processStatusField("Threads"));
}

// The thread count once it has settled at `expected`, or whatever it is
// after a second. The kernel drops an exited thread from the count a little
// after join() returns (join waits only for the thread's tid to be
// cleared), so on a loaded machine an immediate read can still see it.
int threadCountSettlingAt(int expected) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(1);
    int count = processThreadCount();
    while (count != expected && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(5));
        count = processThreadCount();
    }
    return count;
}

// The thread count once it has held still for a few reads, for a baseline
// taken while threads started earlier may still be leaving.
int settledThreadCount() {
    int count = processThreadCount();
    for (int steady = 0, tries = 0; steady < 3 && tries < 200; ++tries) {
        std::this_thread::sleep_for(milliseconds(5));
        const int now = processThreadCount();
        steady = now == count ? steady + 1 : 0;
        count = now;
    }
    return count;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class VideoReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = (fs::temp_directory_path() / "quexal-video-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
        // Runtimes that start a helper thread with the first thread of the
        // process (ThreadSanitizer does) do so now, before threads are counted.
        std::thread([] {}).join();
        writeClip(folder_ / "even.avi", {64, 48}, 10, 3);
        writeClip(folder_ / "odd.avi", {67, 35}, 10, 3);
        writeClip(folder_ / "slow.avi", {16, 16}, 1, 3);
        writeBareJpegStream(folder_ / "bare.mjpeg", {32, 24}, 5);
        std::ofstream(folder_ / "empty.avi").close();
        std::ofstream noise(folder_ / "noise.avi", std::ios::binary);
        cv::RNG rng(7);
        for (int i = 0; i < 20000; ++i) noise.put(static_cast<char>(rng.uniform(0, 256)));
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    static std::string clip(const char* name) { return (folder_ / name).string(); }

    static fs::path folder_;
};
fs::path VideoReaderTest::folder_;

TEST(PlaybackFrameRate, KeepsPlausibleRatesAndReplacesNonsense) {
    EXPECT_EQ(10.0, playbackFrameRate(10.0));
    EXPECT_EQ(29.97, playbackFrameRate(29.97));
    EXPECT_EQ(kMinFrameRate, playbackFrameRate(kMinFrameRate));
    EXPECT_EQ(kMaxFrameRate, playbackFrameRate(kMaxFrameRate));
    for (double nonsense :
         {0.0, -25.0, 0.1, 1000.0, 90000.0, 1.2e6, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity()})
        EXPECT_EQ(kFallbackFrameRate, playbackFrameRate(nonsense)) << nonsense;
}

TEST_F(VideoReaderTest, ReportsTheSizeAndHandsOutPackedBottomUpFrames) {
    for (const auto& [name, width, height] :
         {std::tuple{"even.avi", 64, 48}, std::tuple{"odd.avi", 67, 35}}) {
        SCOPED_TRACE(name);
        VideoReader reader;
        ASSERT_EQ(1, reader.open(clip(name).c_str()));
        EXPECT_TRUE(reader.playing());
        EXPECT_EQ(width, reader.width());
        EXPECT_EQ(height, reader.height());

        std::vector<uint8_t> frame(5, 0xEE);
        const int32_t size = reader.grabFrame(frame);
        ASSERT_EQ(width * height * 3, size);
        ASSERT_EQ(static_cast<std::size_t>(size), frame.size());

        // The bottom half of the picture comes first.
        const int s = secondShown(frame, width, height);
        ASSERT_GE(s, 0);
        const uint8_t* upper =
            &frame[(static_cast<std::size_t>(height * 3 / 4) * width + width / 2) * 3];
        EXPECT_LT(colourDistance(upper, kSeconds[s].top), 90);

        // Byte for byte the decoder's picture of that second, rows
        // reversed and packed.
        cv::VideoCapture capture(clip(name), cv::CAP_FFMPEG);
        cv::Mat decoded, expected;
        for (int i = 0; i <= s * 10; ++i) ASSERT_TRUE(capture.read(decoded));
        cv::flip(decoded, expected, 0);
        ASSERT_TRUE(expected.isContinuous());
        EXPECT_EQ(0, std::memcmp(expected.data, frame.data(), frame.size()));
    }
}

TEST_F(VideoReaderTest, PlaysWithWallTimeAndLoopsAfterTheEnd) {
    VideoReader reader;
    ASSERT_EQ(1, reader.open(clip("even.avi").c_str()));
    const Clock::time_point start = Clock::now();
    std::vector<uint8_t> frame;

    // Asking often does not move the video on.
    for (int i = 0; i < 200; ++i) {
        ASSERT_GT(reader.grabFrame(frame), 0);
        if (secondsSince(start) < 0.8) ASSERT_EQ(0, secondShown(frame, 64, 48)) << "call " << i;
    }

    // Not asking does not hold it back.
    std::this_thread::sleep_until(start + milliseconds(1500));
    ASSERT_GT(reader.grabFrame(frame), 0);
    EXPECT_NE(0, secondShown(frame, 64, 48));

    // The seconds follow in order, and after the last the first returns.
    std::vector<int> seen = {0};
    while (secondsSince(start) < 8.0 && seen.size() < 4) {
        ASSERT_GT(reader.grabFrame(frame), 0);
        const int s = secondShown(frame, 64, 48);
        if (s >= 0 && s != seen.back()) seen.push_back(s);
        std::this_thread::sleep_for(milliseconds(40));
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0}), seen);
}

TEST_F(VideoReaderTest, LoopsAFileThatCannotSeekAtAPlausibleRate) {
    // 5 frames of each colour at the fallback rate: a change every 0.2 s.
    VideoReader reader;
    ASSERT_EQ(1, reader.open(clip("bare.mjpeg").c_str()));
    std::vector<uint8_t> frame;
    int changes = 0, last = 0;
    std::vector<int> seen = {0};
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < 2.0) {
        ASSERT_EQ(32 * 24 * 3, reader.grabFrame(frame));
        const int s = secondShown(frame, 32, 24);
        if (s >= 0 && s != last) {
            ++changes;
            last = s;
            if (seen.size() < 3) seen.push_back(s);
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ((std::vector<int>{0, 1, 0}), seen);
    // The stream claims over a million frames a second; played at that
    // rate, nearly every sample would see a change.
    EXPECT_LE(changes, 16);
}

TEST_F(VideoReaderTest, RefusesWhatDoesNotPlayAndLeavesNoThread) {
    // Any thread pools of the libraries underneath exist by now.
    {
        VideoReader warmUp;
        warmUp.open(clip("noise.avi").c_str());
    }
    const int threadsBefore = settledThreadCount();
    const std::string missing = clip("missing.avi");
    const std::string empty = clip("empty.avi");
    const std::string noise = clip("noise.avi");
    const std::string folder = folder_.string();
    const char* const paths[] = {missing.c_str(), empty.c_str(), noise.c_str(), folder.c_str(), "",
                                 nullptr};
    for (const char* path : paths) {
        SCOPED_TRACE(path ? path : "null");
        VideoReader reader;
        EXPECT_EQ(0, reader.open(path));
        EXPECT_FALSE(reader.playing());
        EXPECT_EQ(threadsBefore, processThreadCount());
        EXPECT_EQ(0, reader.width());
        EXPECT_EQ(0, reader.height());
        std::vector<uint8_t> frame(12, 1);
        EXPECT_EQ(0, reader.grabFrame(frame));
        EXPECT_TRUE(frame.empty());
    }
}

TEST_F(VideoReaderTest, CloseStopsPlaybackQuicklyAndMayBeRepeated) {
    const int threadsBefore = settledThreadCount();
    VideoReader reader;
    reader.close();  // never opened
    ASSERT_EQ(1, reader.open(clip("slow.avi").c_str()));
    ASSERT_EQ(1, reader.open(clip("odd.avi").c_str()));  // replaces the first playback
    EXPECT_EQ(threadsBefore + 1, threadCountSettlingAt(threadsBefore + 1));
    EXPECT_EQ(67, reader.width());

    std::this_thread::sleep_for(milliseconds(150));
    const Clock::time_point start = Clock::now();
    reader.close();
    EXPECT_LT(secondsSince(start), 0.5);
    reader.close();
    EXPECT_FALSE(reader.playing());
    EXPECT_EQ(threadsBefore, threadCountSettlingAt(threadsBefore));
    EXPECT_EQ(0, reader.width());
    EXPECT_EQ(0, reader.height());
    std::vector<uint8_t> frame;
    EXPECT_EQ(0, reader.grabFrame(frame));
}

TEST_F(VideoReaderTest, DestroyingAPlayingReaderDoesNotWaitForTheNextFrame) {
    // One frame a second: the playback thread sleeps about a second
    // between frames, and destruction must cut that wait short.
    auto reader = std::make_unique<VideoReader>();
    ASSERT_EQ(1, reader->open(clip("slow.avi").c_str()));
    std::this_thread::sleep_for(milliseconds(150));
    const Clock::time_point start = Clock::now();
    reader.reset();
    EXPECT_LT(secondsSince(start), 0.5);
}

}  // namespace
}  // namespace quexal
