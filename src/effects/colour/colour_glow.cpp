#include "effects/colour/colour_glow.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "effects/colour/colour_tones.h"

namespace quexal {
namespace {

constexpr int kGlowBlurSize = 25;     // box window of mode 18
constexpr int kSoftGreyBlurSize = 5;  // Gaussian window of mode 24

// Rows are handled in bands of about this many bytes, which stay in the
// second-level cache between the steps that touch them.
constexpr std::size_t kBandBytes = 64 * 1024;

// The frame's rows and where each lands in the top-first working image.
class RowMap {
public:
    RowMap(uint8_t* frame, cv::Mat& work, RowOrder order)
        : frame_(frame),
          work_(work.data),
          rows_(work.rows),
          rowBytes_(static_cast<std::size_t>(work.cols) * 3),
          bottomFirst_(order == RowOrder::BottomFirst) {
        CV_Assert(work.type() == CV_8UC3 && work.isContinuous());
    }
    int rows() const { return rows_; }
    int pixelsPerRow() const { return static_cast<int>(rowBytes_ / 3); }
    int bandRows() const {
        return static_cast<int>(std::max<std::size_t>(1, kBandBytes / rowBytes_));
    }
    std::size_t rowBytes() const { return rowBytes_; }
    uint8_t* frameRow(int y) const { return frame_ + y * rowBytes_; }
    uint8_t* workRow(int y) const { return work_ + pictureRow(y) * rowBytes_; }
    // The first working-image row of host rows y0..y1-1, which are
    // consecutive there too (in reverse order for a bottom-first frame).
    uint8_t* workBand(int y0, int y1) const { return workRow(bottomFirst_ ? y1 - 1 : y0); }

private:
    std::size_t pictureRow(int y) const { return bottomFirst_ ? rows_ - 1 - y : y; }
    uint8_t* frame_;
    uint8_t* work_;
    int rows_;
    std::size_t rowBytes_;
    bool bottomFirst_;
};

// Copies the frame into the working image in picture order, toned with
// `firstTone` on the way, and applies `secondTone` to each band while it
// is in cache.
void tonedCopy(const RowMap& map, int32_t firstTone, int32_t secondTone) {
    const int band = map.bandRows();
    for (int y0 = 0; y0 < map.rows(); y0 += band) {
        const int y1 = std::min(map.rows(), y0 + band);
        for (int y = y0; y < y1; ++y)
            applyColorToneInto(map.frameRow(y), map.workRow(y), map.pixelsPerRow(), firstTone);
        applyColorTone(map.workBand(y0, y1), (y1 - y0) * map.pixelsPerRow(), secondTone);
    }
}

// Screens the blurred working image over the frame, after toning each
// band of the frame with `frameTone` (0 for none) while it is in cache.
void screenBack(const RowMap& map, int32_t frameTone) {
    const int band = map.bandRows();
    for (int y0 = 0; y0 < map.rows(); y0 += band) {
        const int y1 = std::min(map.rows(), y0 + band);
        if (frameTone != 0)
            applyColorTone(map.frameRow(y0), (y1 - y0) * map.pixelsPerRow(), frameTone);
        for (int y = y0; y < y1; ++y)
            screenBlend(map.frameRow(y), map.workRow(y), map.pixelsPerRow());
    }
}

}  // namespace

// The frame is written only by the last step, which cannot fail: a failure
// in the blur leaves it untouched. The inverted sepia the glow is screened
// over is toned again from the frame rather than kept in a copy.
void glowPipeline(uint8_t* frame, cv::Mat& work, RowOrder order) {
    const RowMap map(frame, work, order);
    tonedCopy(map, kToneInvertedSepia, kToneBrightKeep);
    cv::blur(work, work, cv::Size(kGlowBlurSize, kGlowBlurSize), cv::Point(-1, -1),
             cv::BORDER_REPLICATE);
    screenBack(map, kToneInvertedSepia);
}

void softGreyPipeline(uint8_t* frame, cv::Mat& work, RowOrder order) {
    const RowMap map(frame, work, order);
    tonedCopy(map, kToneInvertedSepia, kToneBrightLevel);
    cv::GaussianBlur(work, work, cv::Size(kSoftGreyBlurSize, kSoftGreyBlurSize), 0.0, 0.0,
                     cv::BORDER_REPLICATE);
    screenBack(map, 0);
}

}  // namespace quexal
