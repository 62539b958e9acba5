// Plays a video file in a loop on its own thread and hands out its latest
// frame.
//
// Playback is paced by the file's frame rate, not by how often frames are
// asked for: callers faster than the video get the same frame again, slower
// ones skip frames. At the end of the file playback starts over from the
// first frame, so a background keeps moving for as long as it is in use.
//
// open, width, height, grabFrame and close are meant for one thread (the
// host's); the only data shared with the playback thread is the latest
// frame, behind a mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace quexal {

// Rate used when a file states no usable frame rate.
inline constexpr double kFallbackFrameRate = 25.0;

// Frame rates outside this range are taken as nonsense (some containers
// report a time base such as 90000 or 1000 instead of a rate).
inline constexpr double kMinFrameRate = 0.5;
inline constexpr double kMaxFrameRate = 240.0;

// The rate playback is paced at for a file that reports `reportedRate`
// frames per second.
double playbackFrameRate(double reportedRate);

class VideoReader {
public:
    VideoReader() = default;
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // 1 when `path` names a regular file whose first frame decodes and
    // playback has started; 0 otherwise, with no playback thread left
    // behind. Opening again first closes what was playing.
    int open(const char* path);

    // Size of the decoded frames; 0 unless open succeeded.
    int32_t width() const { return opened_ ? width_ : 0; }
    int32_t height() const { return opened_ ? height_ : 0; }

    // Copies the most recent frame into `frame`: 24-bit pixels in blue,
    // green, red order, the bottom row of the picture first, rows packed
    // (width() * 3 bytes each, whatever the width). Answers its size,
    // width() * height() * 3 bytes, or 0 with `frame` emptied when there is
    // no frame to give. `frame` belongs to the caller; reusing it from call
    // to call avoids an allocation per frame.
    int32_t grabFrame(std::vector<uint8_t>& frame);

    // Stops playback, joins the thread and releases the file. Safe to call
    // any number of times; the destructor calls it too.
    void close();

    // Whether a playback thread exists (between a successful open and close).
    bool playing() const { return thread_.joinable(); }

private:
    using Clock = std::chrono::steady_clock;

    bool openCapture();
    bool readFrame(cv::Mat& frame);
    bool decodeNext(cv::Mat& frame);
    void play() noexcept;
    void playLoop();

    // Owned by the host's thread; the playback thread reads path_, width_,
    // height_ and period_, which are fixed before it starts.
    std::string path_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    Clock::duration period_{};
    bool opened_ = false;

    // Used by the playback thread alone while it runs.
    cv::VideoCapture capture_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;  // guarded by mutex_
    cv::Mat latest_;              // guarded by mutex_: bottom row first, packed
    std::thread thread_;
};

}  // namespace quexal
