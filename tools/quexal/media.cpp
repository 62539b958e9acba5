#include "media.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio/registry.hpp>

#include "host_error.h"

namespace qxcli {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return std::tolower(ch); });
    return ext;
}

constexpr const char* kCameraPrefix = "/dev/video";

bool isCameraName(const std::string& input) {
    return input.rfind(kCameraPrefix, 0) == 0;
}

// A picture sequence name holds exactly one %d, %03d and the like.
bool isSequencePattern(const std::string& name) {
    const size_t at = name.find('%');
    if (at == std::string::npos || name.find('%', at + 1) != std::string::npos) return false;
    size_t i = at + 1;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
    return i < name.size() && name[i] == 'd';
}

cv::Mat asBgr(const cv::Mat& frame) {
    cv::Mat out;
    if (frame.channels() == 1)
        cv::cvtColor(frame, out, cv::COLOR_GRAY2BGR);
    else if (frame.channels() == 4)
        cv::cvtColor(frame, out, cv::COLOR_BGRA2BGR);
    else
        out = frame;
    if (out.depth() != CV_8U) out.convertTo(out, CV_8U, 1.0 / 257.0);
    return out.isContinuous() ? out : out.clone();
}

// Points stderr at /dev/null for its lifetime. Only for short calls on the
// host's own thread, which are all that writes there meanwhile.
class StderrMuted {
public:
    StderrMuted() : saved_(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    ~StderrMuted() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    StderrMuted(const StderrMuted&) = delete;
    StderrMuted& operator=(const StderrMuted&) = delete;

private:
    int saved_;
};

}  // namespace

cv::Mat readPicture(const std::string& path, int flags) {
    const StderrMuted muted;
    try {
        return cv::imread(path, flags);
    } catch (const cv::Exception&) {
        return {};
    }
}

bool isImageFileName(const std::string& path) {
    static const std::array<const char*, 8> kExts = {".png", ".jpg",  ".jpeg", ".bmp",
                                                     ".tif", ".tiff", ".ppm",  ".webp"};
    const std::string ext = lowerExtension(path);
    return std::find(kExts.begin(), kExts.end(), ext) != kExts.end();
}

bool isLoopbackOutput(const std::string& output) {
    return output.rfind(kLoopbackPrefix, 0) == 0;
}

// The loopback driver takes the format the first writer sets; YUY2 is what
// video-call programs read most readily.
std::string loopbackPipelineHead() {
    return "appsrc ! videoconvert ! video/x-raw,format=YUY2";
}

std::string loopbackDevice(const std::string& output) {
    return output.substr(std::char_traits<char>::length(kLoopbackPrefix));
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    const fs::path left = fs::weakly_canonical(a, ec);
    if (ec) return false;
    const fs::path right = fs::weakly_canonical(b, ec);
    return !ec && left == right;
}

FrameSource::FrameSource(const std::string& input) {
    if (isCameraName(input)) {
        camera_ = true;
        if (!capture_.open(input, cv::CAP_V4L2)) throw HostError("cannot open camera " + input);
    } else {
        if (!fs::is_regular_file(input)) throw HostError("no such file: " + input);
        if (isImageFileName(input)) {
            still_ = readPicture(input, cv::IMREAD_COLOR);
            if (still_.empty())
                throw HostError("cannot read " + input + ": not a picture that can be decoded");
        } else if (!capture_.open(input, cv::CAP_FFMPEG)) {
            // FFmpeg by name: letting OpenCV try every backend in turn makes
            // each of them report its own failure on a file none can read.
            throw HostError("cannot read " + input + ": not a video file that can be decoded");
        }
    }
    if (isStill()) {
        still_ = asBgr(still_);
        size_ = still_.size();
        count_ = 1;
        return;
    }
    size_ = {static_cast<int>(capture_.get(cv::CAP_PROP_FRAME_WIDTH)),
             static_cast<int>(capture_.get(cv::CAP_PROP_FRAME_HEIGHT))};
    if (size_.width <= 0 || size_.height <= 0)
        throw HostError("cannot tell the frame size of " + input);
    const double fps = capture_.get(cv::CAP_PROP_FPS);
    if (fps > 0 && fps < 1000) fps_ = fps;
    if (!camera_) count_ = std::max(0, static_cast<int>(capture_.get(cv::CAP_PROP_FRAME_COUNT)));
}

bool FrameSource::next(cv::Mat& frame) {
    if (isStill()) {
        if (served_ >= repeat_) return false;
        ++served_;
        frame = still_.clone();
        return true;
    }
    cv::Mat raw;
    if (!capture_.read(raw) || raw.empty()) return false;
    frame = asBgr(raw);
    if (frame.size() != size_) cv::resize(frame, frame, size_, 0, 0, cv::INTER_AREA);
    ++served_;
    return true;
}

FrameSink::FrameSink(const std::string& output, cv::Size size, double fps) : output_(output) {
    if (isLoopbackOutput(output)) {
        openLoopback(size, fps);
        return;
    }
    const fs::path parent = fs::path(output).parent_path();
    if (!parent.empty() && !fs::is_directory(parent))
        throw HostError("no such folder: " + parent.string());
    picture_ = isImageFileName(output);
    sequence_ = picture_ && output.find('%') != std::string::npos;
    if (sequence_ && !isSequencePattern(output))
        throw HostError("a picture sequence name takes one %d pattern: " + output);
    if (picture_) return;
    const std::string ext = lowerExtension(output);
    int fourcc = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
    if (ext == ".mp4" || ext == ".mov" || ext == ".m4v")
        fourcc = cv::VideoWriter::fourcc('m', 'p', '4', 'v');
    else if (ext != ".avi" && ext != ".mkv")
        throw HostError("unknown output type: " + output + " (use .png, .jpg, .avi, .mp4)");
    if (!video_.open(output, cv::CAP_FFMPEG, fourcc, fps, size))
        throw HostError("cannot write video " + output);
}

void FrameSink::openLoopback(cv::Size size, double fps) {
    const std::string device = loopbackDevice(output_);
    if (device.rfind(kCameraPrefix, 0) != 0)
        throw HostError("a loopback output is named v4l2:/dev/videoN, not " + output_);
    std::error_code ec;
    if (!fs::is_character_file(device, ec))
        throw HostError(
            "no video device " + device + " (load one with: sudo modprobe v4l2loopback video_nr=" +
            device.substr(std::char_traits<char>::length(kCameraPrefix)) + " exclusive_caps=1)");
    if (!cv::videoio_registry::hasBackend(cv::CAP_GSTREAMER))
        throw HostError("writing to " + device + " needs OpenCV with GStreamer");
    const std::string pipeline = loopbackPipelineHead() + " ! v4l2sink sync=false device=" + device;
    if (!video_.open(pipeline, cv::CAP_GSTREAMER, 0, fps, size))
        throw HostError("cannot write to " + device + " (is it a v4l2loopback device?)");
}

void FrameSink::write(const cv::Mat& frame) {
    if (video_.isOpened()) {
        video_.write(frame);
    } else if (sequence_) {
        char name[4096];
        std::snprintf(name, sizeof name, output_.c_str(), index_);
        if (!cv::imwrite(name, frame)) throw HostError(std::string("cannot write ") + name);
    } else {
        frame.copyTo(last_);
    }
    ++index_;
}

void FrameSink::finish() {
    if (video_.isOpened()) video_.release();
    if (picture_ && !sequence_ && !last_.empty() && !cv::imwrite(output_, last_))
        throw HostError("cannot write " + output_);
    if (index_ == 0) throw HostError("no frame was written to " + output_);
}

}  // namespace qxcli
