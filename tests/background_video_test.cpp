// A video file as the replacement background: clips generated into a
// temporary folder, each second in its own colours.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "background/video/video_reader.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// Top half per second, bottom half always white; far apart enough to
// survive JPEG.
const cv::Vec3b kTops[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};  // blue, green, red
const cv::Vec3b kBottom(255, 255, 255);

fs::path clipFolder() {
    const fs::path folder =
        fs::temp_directory_path() / ("quexal-bkg-video-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

// Removes the clips when the tests are done.
class ClipCleanup : public ::testing::Environment {
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(clipFolder(), ignored);
    }
};
const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new ClipCleanup);

fs::path writeClip(cv::Size size, int seconds, double fps = 10.0) {
    const fs::path path = clipFolder() / ("clip-" + std::to_string(size.width) + "x" +
                                          std::to_string(size.height) + ".avi");
    cv::VideoWriter writer(path.string(), cv::CAP_OPENCV_MJPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
    EXPECT_TRUE(writer.isOpened());
    for (int s = 0; s < seconds; ++s) {
        cv::Mat image(size, CV_8UC3, kBottom);
        image.rowRange(0, size.height / 2).setTo(kTops[s % 3]);
        for (int i = 0; i < static_cast<int>(fps); ++i) writer.write(image);
    }
    return path;
}

// Index of the clip colour a region shows, or -1.
int topColour(const cv::Mat& region) {
    const cv::Scalar mean = cv::mean(region);
    for (int k = 0; k < 3; ++k) {
        const double d = std::abs(mean[0] - kTops[k][0]) + std::abs(mean[1] - kTops[k][1]) +
                         std::abs(mean[2] - kTops[k][2]);
        if (d < 60) return k;
    }
    return -1;
}

bool isWhite(const cv::Mat& region) {
    const cv::Scalar mean = cv::mean(region);
    return mean[0] > 230 && mean[1] > 230 && mean[2] > 230;
}

// A context whose reference is a uniform grey scene of `frame` size; frames
// of that scene composite to the background alone.
struct VideoScene {
    Session ctx;
    cv::Size frame;
    bool bottomUp;
    std::vector<uint8_t> scene;
    VideoScene(cv::Size frame, bool bottomUp) : frame(frame), bottomUp(bottomUp) {
        EXPECT_EQ(1,
                  ctx.init(QUEXAL_DATA_ROOT, frame.width, bottomUp ? frame.height : -frame.height));
        scene.assign(frame.area() * 3, 128);
        EXPECT_EQ(1, ctx.getBkgSnapshot(scene.data(), frame.width, frame.height));
    }
    // One composite, top row first, in `out`.
    int run(cv::Mat& out) {
        std::vector<uint8_t> host = scene;
        const int result = ctx.processBkg(host.data(), 0, 0, 0);
        const cv::Mat image(frame, CV_8UC3, host.data());
        if (bottomUp)
            cv::flip(image, out, 0);
        else
            out = image.clone();
        return result;
    }
    int top(const cv::Mat& out) const {
        return topColour(out(cv::Rect(0, 0, frame.width, frame.height / 2 - 8)));
    }
    bool whiteBottom(const cv::Mat& out) const {
        return isWhite(out(cv::Rect(0, frame.height / 2 + 8, frame.width, frame.height / 2 - 8)));
    }
};

TEST(VideoSource, ClipOfTheFrameSizeShowsTopRowFirstAndLoops) {
    const fs::path clip = writeClip({160, 120}, 3);
    {
        VideoScene s({160, 120}, false);
        s.ctx.face.redetect = 0;
        ASSERT_EQ(1, s.ctx.setBkg(clip.c_str(), QX_BKG_VIDEO, 0, 0));
        EXPECT_EQ(1, s.ctx.background.state);
        EXPECT_EQ(160, s.ctx.background.videoWidth);
        EXPECT_EQ(120, s.ctx.background.videoHeight);
        EXPECT_EQ(1, s.ctx.face.redetect);
        EXPECT_EQ(-1, s.ctx.face.trackState);

        // Watch the colours for longer than the clip: after the last second
        // the first comes back.
        std::vector<int> seen;
        cv::Mat out;
        for (int i = 0; i < 90 && seen.size() < 4; ++i) {
            ASSERT_EQ(1, s.run(out));
            EXPECT_TRUE(s.whiteBottom(out)) << "the video's top stays on top";
            const int k = s.top(out);
            if (k >= 0 && (seen.empty() || seen.back() != k)) seen.push_back(k);
            std::this_thread::sleep_for(milliseconds(50));
        }
        ASSERT_EQ(4u, seen.size());
        EXPECT_EQ((std::vector<int>{seen[0], (seen[0] + 1) % 3, (seen[0] + 2) % 3, seen[0]}), seen);
    }
}

TEST(VideoSource, ClipOfAnotherSizeIsStretchedOverTheFrame) {
    const fs::path clip = writeClip({96, 64}, 1);
    VideoScene s({320, 240}, true);
    ASSERT_EQ(1, s.ctx.background.setVideo(clip.c_str()));
    EXPECT_EQ(96, s.ctx.background.videoWidth);
    EXPECT_EQ(64, s.ctx.background.videoHeight);
    cv::Mat out;
    ASSERT_EQ(1, s.run(out));
    EXPECT_EQ(0, s.top(out));
    EXPECT_TRUE(s.whiteBottom(out));
}

TEST(VideoSource, EmptyPathRemovesTheReaderAndKeepsTheLastFrame) {
    const fs::path clip = writeClip({160, 120}, 3);
    VideoScene s({160, 120}, false);
    ASSERT_EQ(1, s.ctx.background.setVideo(clip.c_str()));
    cv::Mat first, later;
    ASSERT_EQ(1, s.run(first));
    EXPECT_EQ(0, _QX_check_dinamic_bkg(0));  // never reports video, whatever plays

    EXPECT_EQ(1, s.ctx.background.setVideo(""));
    EXPECT_EQ(nullptr, s.ctx.background.video);
    EXPECT_EQ(1, s.ctx.background.state);
    std::this_thread::sleep_for(milliseconds(1200));  // the clip would have moved on
    ASSERT_EQ(1, s.run(later));
    EXPECT_EQ(0, cv::norm(first, later, cv::NORM_INF));
}

TEST(VideoSource, MissingFileIsRefusedAndLeavesNoPlayback) {
    VideoScene s({160, 120}, false);
    const cv::Mat picture(120, 160, CV_8UC3, cv::Scalar(255, 0, 255));
    ASSERT_EQ(1, s.ctx.background.setPicture(picture.data, 160, 120));

    const std::string missing = (clipFolder() / "missing.avi").string();
    EXPECT_EQ(0, s.ctx.background.setVideo(missing.c_str()));
    EXPECT_EQ(2, s.ctx.background.state);  // the picture stays in use
    ASSERT_NE(nullptr, s.ctx.background.video);
    EXPECT_FALSE(s.ctx.background.video->playing());
    cv::Mat out;
    EXPECT_EQ(1, s.run(out));

    // With a video chosen before, the unopened reader gives no frame.
    const fs::path clip = writeClip({160, 120}, 1);
    ASSERT_EQ(1, s.ctx.background.setVideo(clip.c_str()));
    EXPECT_EQ(0, s.ctx.background.setVideo(missing.c_str()));
    EXPECT_EQ(1, s.ctx.background.state);
    std::vector<uint8_t> host = s.scene;
    EXPECT_EQ(-1, s.ctx.processBkg(host.data(), 0, 0, 0));
    EXPECT_EQ(s.scene, host);
}

TEST(VideoSource, FrameShorterThanTheReportedSizeIsNoFrame) {
    const fs::path clip = writeClip({160, 120}, 1);
    VideoScene s({160, 120}, false);
    ASSERT_EQ(1, s.ctx.background.setVideo(clip.c_str()));
    s.ctx.background.videoHeight += 1;  // the reader hands out one row less than this
    std::vector<uint8_t> host = s.scene;
    EXPECT_EQ(-1, s.ctx.processBkg(host.data(), 0, 0, 0));
    EXPECT_EQ(s.scene, host);
}

TEST(VideoSource, ReinitialisationDropsThePlayingReader) {
    const fs::path clip = writeClip({160, 120}, 1);
    VideoScene s({160, 120}, false);
    ASSERT_EQ(1, s.ctx.background.setVideo(clip.c_str()));
    ASSERT_TRUE(s.ctx.background.video->playing());
    ASSERT_EQ(1, s.ctx.init(QUEXAL_DATA_ROOT, 160, -120));
    EXPECT_EQ(nullptr, s.ctx.background.video);
    EXPECT_EQ(-1, s.ctx.background.state);
    EXPECT_EQ(0, s.ctx.background.setVideo(clip.c_str()));  // a new snapshot comes first
}

}  // namespace
}  // namespace quexal
