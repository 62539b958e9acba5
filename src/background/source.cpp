// Choosing what replaces the background: a still picture handed over by the
// host, or a video file played by the library.
#include <cstring>
#include <memory>

#include <opencv2/imgproc.hpp>

#include "background/background.h"
#include "background/video/video_reader.h"
#include "quexal/quexal.h"

namespace quexal {

// An empty or null path only removes the playing video: the frames that follow are
// composited over its last frame.
int Background::setVideo(const char* path) {
    if (state == kNoReference) return QX_SET_BKG_REFUSED;
    stopVideo();
    if (path == nullptr || path[0] == '\0') return QX_DONE;

    // The reader is kept even when it fails to open: compositing then finds
    // no frame and leaves the host's frames alone until another source is set.
    video = std::make_unique<VideoReader>();
    if (video->open(path) != 1) return QX_SET_BKG_REFUSED;
    videoWidth = video->width();
    videoHeight = video->height();
    if (videoWidth <= 0 || videoHeight <= 0) return QX_SET_BKG_REFUSED;

    state = kVideoSource;
    return QX_DONE;
}

// The picture is stretched to the frame without keeping its aspect ratio,
// and never row-reversed: its first row is the top of the background.
int Background::setPicture(const uint8_t* data, int32_t width, int32_t height) {
    if (state == kNoReference || !allocated()) return QX_SET_BKG_REFUSED;
    if (data == nullptr || width <= 0 || height <= 0) return QX_SET_BKG_REFUSED;

    if (width == geometry_.width && height == geometry_.height) {
        std::memcpy(picture.data, data, static_cast<std::size_t>(geometry_.pixelCount) * 3);
    } else {
        const cv::Mat source(height, width, CV_8UC3, const_cast<uint8_t*>(data));
        cv::resize(source, picture, picture.size(), 0, 0, cv::INTER_AREA);
    }

    state = kPictureSource;
    return QX_DONE;
}

}  // namespace quexal
