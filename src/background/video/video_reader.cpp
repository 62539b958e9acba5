#include "background/video/video_reader.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace quexal {

namespace {

// How long playback waits before trying again when the file stops giving
// frames even after starting over (for instance, it was removed).
constexpr std::chrono::seconds kRetryDelay{1};

// Turns a decoded frame into what grabFrame hands out: 8-bit BGR of the
// size the reader reported at open, bottom row first. Frames the decoder
// delivers in another layout or size are converted; answers false for a
// frame that cannot be used.
bool toBottomUpBgr(const cv::Mat& decoded, cv::Size size, cv::Mat& scratch, cv::Mat& out) {
    if (decoded.empty() || decoded.depth() != CV_8U) return false;
    const cv::Mat* bgr = &decoded;
    switch (decoded.channels()) {
        case 3: break;
        case 1:
            cv::cvtColor(decoded, scratch, cv::COLOR_GRAY2BGR);
            bgr = &scratch;
            break;
        case 4:
            cv::cvtColor(decoded, scratch, cv::COLOR_BGRA2BGR);
            bgr = &scratch;
            break;
        default: return false;
    }
    if (bgr->size() != size) {
        // A stream that changes resolution midway keeps the size it opened
        // with, so every buffer handed out has the size callers were told.
        cv::Mat resized;
        cv::resize(*bgr, resized, size, 0, 0, cv::INTER_LINEAR);
        cv::flip(resized, out, 0);
    } else {
        cv::flip(*bgr, out, 0);
    }
    return true;
}

}  // namespace

double playbackFrameRate(double reportedRate) {
    if (!std::isfinite(reportedRate) || reportedRate < kMinFrameRate ||
        reportedRate > kMaxFrameRate)
        return kFallbackFrameRate;
    return reportedRate;
}

VideoReader::~VideoReader() {
    close();
}

int VideoReader::open(const char* path) {
    close();
    if (path == nullptr || *path == '\0') return 0;
    try {
        // Only files: FFmpeg would also accept URLs and device names, and a
        // FIFO or an unreachable address could block the host for long.
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return 0;

        path_ = path;
        cv::Mat first;
        if (!openCapture() || !readFrame(first)) {
            close();
            return 0;
        }
        const int64_t bytes = int64_t{first.cols} * first.rows * 3;
        cv::Mat scratch;
        if (bytes > std::numeric_limits<int32_t>::max() ||
            !toBottomUpBgr(first, first.size(), scratch, latest_)) {
            close();
            return 0;
        }
        width_ = first.cols;
        height_ = first.rows;
        const double rate = playbackFrameRate(capture_.get(cv::CAP_PROP_FPS));
        period_ =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
        stopRequested_ = false;
        thread_ = std::thread(&VideoReader::play, this);
    } catch (...) {
        close();
        return 0;
    }
    opened_ = true;
    return 1;
}

int32_t VideoReader::grabFrame(std::vector<uint8_t>& frame) {
    if (!opened_) {
        frame.clear();
        return 0;
    }
    const std::size_t bytes = static_cast<std::size_t>(width_) * height_ * 3;
    try {
        frame.resize(bytes);
    } catch (const std::bad_alloc&) {
        frame.clear();
        return 0;
    }
    std::lock_guard lock(mutex_);
    std::memcpy(frame.data(), latest_.data, bytes);
    return static_cast<int32_t>(bytes);
}

void VideoReader::close() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopRequested_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    opened_ = false;
    width_ = 0;
    height_ = 0;
    capture_.release();
    latest_.release();
}

bool VideoReader::openCapture() {
    return capture_.open(path_, cv::CAP_FFMPEG);
}

bool VideoReader::readFrame(cv::Mat& frame) {
    return capture_.isOpened() && capture_.read(frame) && !frame.empty();
}

// Reads the next frame, starting over from the first one at the end of the
// file. Seeking to the start is cheap but not every container supports it;
// reopening the file always lands on the first frame.
bool VideoReader::decodeNext(cv::Mat& frame) {
    if (readFrame(frame)) return true;
    if (capture_.set(cv::CAP_PROP_POS_FRAMES, 0) && readFrame(frame)) return true;
    return openCapture() && readFrame(frame);
}

void VideoReader::play() noexcept {
    try {
        playLoop();
    } catch (...) {
        // Decoding broke down: playback stops and the last frame stays.
    }
}

// Frame k is shown at the time open showed the first frame plus k periods.
// The next frame is decoded ahead, while the current one is on show, so the
// decoding time does not delay it. A thread that falls behind (a loaded
// machine, a slow decoder) picks up from the present instead of racing
// through the frames it missed.
void VideoReader::playLoop() {
    const cv::Size size(width_, height_);
    cv::Mat decoded, scratch, staged;
    Clock::time_point due = Clock::now();

    std::unique_lock lock(mutex_);
    while (!stopRequested_) {
        lock.unlock();
        const bool decodedOne = decodeNext(decoded);
        const bool usable = decodedOne && toBottomUpBgr(decoded, size, scratch, staged);
        lock.lock();

        if (!decodedOne) {
            wake_.wait_for(lock, kRetryDelay, [this] { return stopRequested_; });
            due = Clock::now();
            continue;
        }
        due += period_;
        const Clock::time_point now = Clock::now();
        if (due + period_ < now) due = now;
        if (wake_.wait_until(lock, due, [this] { return stopRequested_; })) break;
        // The frame on show becomes the buffer the next one is decoded into.
        if (usable) std::swap(latest_, staged);
    }
}

}  // namespace quexal
