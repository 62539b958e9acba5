// Choosing what replaces the background: a still picture handed over by the
// host, or a video file played by the library.
#include <cstring>
#include <memory>

#include <opencv2/imgproc.hpp>

#include "background/video/video_reader.h"
#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::setBkg(const void* source, int32_t type, int32_t width, int32_t height) {
    switch (type) {
        case QX_BKG_VIDEO: return setBackgroundVideo(static_cast<const char*>(source));
        case QX_BKG_PICTURE:
            return setBackgroundPicture(static_cast<const uint8_t*>(source), width, height);
        default: return QX_SET_BKG_REFUSED;
    }
}

// An empty or null path only removes the playing video: the frames that
// follow are composited over its last frame.
int EffectContext::setBackgroundVideo(const char* path) {
    if (bkgState < 0 || !hasWorkingImages()) return QX_SET_BKG_REFUSED;
    if (videoReader) {
        videoReader->close();
        videoReader.reset();
    }
    if (path == nullptr || path[0] == '\0') return QX_DONE;

    // The reader is kept even when it fails to open: compositing then finds
    // no frame and leaves the host's frames alone until another source is set.
    videoReader = std::make_unique<VideoReader>();
    if (videoReader->open(path) != 1) return QX_SET_BKG_REFUSED;
    videoWidth = videoReader->width();
    videoHeight = videoReader->height();
    if (videoWidth <= 0 || videoHeight <= 0) return QX_SET_BKG_REFUSED;

    bkgState = 1;
    // Coupling with the face mask: a new background makes the next mask
    // frame detect the face afresh.
    redetect = 1;
    trackState = -1;
    return QX_DONE;
}

// The picture is stretched to the frame without keeping its aspect ratio,
// and never row-reversed: its first row is the top of the background.
int EffectContext::setBackgroundPicture(const uint8_t* data, int32_t width, int32_t height) {
    if (bkgState < 0 || !hasWorkingImages()) return QX_SET_BKG_REFUSED;
    if (data == nullptr || width <= 0 || height <= 0) return QX_SET_BKG_REFUSED;

    if (width == frameWidth && height == frameHeight) {
        std::memcpy(bkgPicture.data, data, static_cast<std::size_t>(pixelCount) * 3);
    } else {
        const cv::Mat picture(height, width, CV_8UC3, const_cast<uint8_t*>(data));
        cv::resize(picture, bkgPicture, bkgPicture.size(), 0, 0, cv::INTER_AREA);
    }

    bkgState = 2;
    // Coupling with the face mask, as for a video source.
    redetect = 1;
    trackState = -1;
    return QX_DONE;
}

}  // namespace quexal
