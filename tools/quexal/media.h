#pragma once

#include <memory>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace qxcli {

// Frames from a still image, a video file or a V4L2 camera (/dev/videoN),
// always 8-bit BGR, top row first, continuous.
class FrameSource {
public:
    // Throws HostError when the input is missing or cannot be opened.
    explicit FrameSource(const std::string& input);

    // Next frame, or false at the end. A still image yields one frame, or
    // `repeat` copies when repeat was set above 1.
    bool next(cv::Mat& frame);

    cv::Size size() const { return size_; }
    double fps() const { return fps_; }
    // Frame count when known (still images, most video files), else 0.
    int count() const { return count_; }
    bool isStill() const { return !still_.empty(); }
    bool isCamera() const { return camera_; }

    void setRepeat(int n) {
        repeat_ = n;
        if (isStill()) count_ = n;
    }

private:
    cv::Mat still_;
    cv::VideoCapture capture_;
    cv::Size size_;
    double fps_ = 25.0;
    int count_ = 0;
    int repeat_ = 1;
    int served_ = 0;
    bool camera_ = false;
};

// cv::imread with the decoders' own complaints kept off stderr: OpenCV and
// libpng print them there directly, past any log level, and the host says
// in its own words that a picture could not be read. Empty when unreadable.
cv::Mat readPicture(const std::string& path, int flags);

// Whether the file name ends like a picture OpenCV writes.
bool isImageFileName(const std::string& path);

// Output names of the form v4l2:/dev/videoN write to a V4L2 loopback device.
constexpr const char* kLoopbackPrefix = "v4l2:";
bool isLoopbackOutput(const std::string& output);
// The device named by such an output: "/dev/videoN".
std::string loopbackDevice(const std::string& output);
// The GStreamer pipeline that feeds the device, up to its v4l2sink.
std::string loopbackPipelineHead();

// Whether both names lead to the same file: through links, "..", or a
// relative and an absolute path. A name that does not exist yet is the
// same only when it spells the same path.
bool sameFile(const std::string& a, const std::string& b);

// Writes the frames to a picture (the last frame, or one file per frame
// when the name holds a printf pattern such as out_%03d.png), to a video
// file (.avi as MJPG, .mp4 / .mov as mp4v, .mkv as MJPG) or to a loopback
// camera (v4l2:/dev/videoN) through GStreamer's v4l2sink.
class FrameSink {
public:
    FrameSink(const std::string& output, cv::Size size, double fps);
    void write(const cv::Mat& frame);
    // Flushes the picture or closes the video; throws when writing failed.
    void finish();

private:
    std::string output_;
    bool picture_ = false;
    bool sequence_ = false;
    int index_ = 0;
    cv::Mat last_;
    cv::VideoWriter video_;

    void openLoopback(cv::Size size, double fps);
};

}  // namespace qxcli
