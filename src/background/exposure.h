// Following the camera's global exposure between the snapshot of the empty
// scene and the current frame.
//
// Webcams move their exposure on their own, most of all when a person steps
// in, and a reference-based segmentation then sees the whole room as
// changed. The tracker models the change per colour channel as an affine
// map, frame = gain * reference + offset, and fits it on the pixels most
// likely background:
//  - a sparse grid (about kExposureGridSamples points) of the blurred frame against the blurred
//  reference,
//    restricted to the last frame's background (matte at its full value)
//    when that frame found enough of it, else over the whole frame; clipped
//    levels are skipped;
//  - a robust start, the median of frame - reference (a pure offset, immune
//    to a person covering less than half of the samples), then two least
//    squares fits on the samples within a shrinking band of the last fit;
//  - the gain is pulled towards 1 in proportion to how little contrast the
//    samples have (a ridge term worth a spread of kGainPriorLevels), so a
//    flat scene yields an offset and a contrasted one a gain as well;
//  - the fit is smoothed over frames (a fraction of the step, capped per
//    frame) so that a moving person does not make the estimate flicker; the
//    first frame after a snapshot takes the fit directly.
// The corrected reference, sat(gain * reference + offset) per channel, and
// its +-20 variants are rebuilt only when that map moved some level by
// kRebuildLevels or more, a quarter of the rows a frame.
#pragma once

#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

namespace quexal::bkg {

// frame ~ gain * reference + offset, for one channel.
struct ChannelExposure {
    double gain = 1.0;
    double offset = 0.0;
};
using Exposure = std::array<ChannelExposure, 3>;

// About this many grid samples a frame, whatever its size.
inline constexpr int kExposureGridSamples = 12000;
// Fewer matte samples than this and the whole frame is sampled instead.
inline constexpr int kMinExposureSamples = 64;
// Levels at either end taken as clipped.
inline constexpr int kClippedLevels = 4;
// Half-widths of the inlier bands of the two least squares fits.
inline constexpr double kFirstInlierBand = 24.0;
inline constexpr double kSecondInlierBand = 12.0;
// Spread of the reference, in levels, that the ridge term is worth.
inline constexpr double kGainPriorLevels = 10.0;
// Temporal smoothing: share of the step taken per frame, and its caps.
inline constexpr double kSmoothingRate = 0.35;
inline constexpr double kMaxGainStep = 0.03;
inline constexpr double kMaxOffsetStep = 3.0;
// Plausible range of the estimate.
inline constexpr double kMinGain = 0.5, kMaxGain = 2.0, kMaxOffset = 64.0;
// A corrected reference is rebuilt when some level moved this much.
inline constexpr int kRebuildLevels = 2;
// Frames over which a rebuild is spread.
inline constexpr int kRebuildFrames = 4;

// Fits the exposure of `frame` against `reference` (both 8UC3, same size)
// on grid samples where `matte` (8UC1, may be empty) equals `background`,
// or on the whole grid when `matte` is empty or too few samples qualify.
Exposure fitExposure(const cv::Mat& frame, const cv::Mat& reference, const cv::Mat& matte,
                     uint8_t background);

// One smoothing step from `current` towards `target`.
Exposure smoothExposure(const Exposure& current, const Exposure& target);

// Per channel, the corrected level of each reference level.
using ExposureTable = std::array<std::array<uint8_t, 256>, 3>;
ExposureTable exposureTable(const Exposure& exposure);

// The smoothed estimate and the corrected references built from it.
class ExposureTracker {
public:
    // Forgets the estimate (a new snapshot).
    void reset();
    // Folds the fit of this frame into the estimate.
    void update(const cv::Mat& frame, const cv::Mat& reference, const cv::Mat& matte,
                uint8_t background);
    // Brings the corrected references up to the estimate; false when they
    // could not be allocated (the caller then compares uncorrected).
    bool prepare(const cv::Mat& reference, int shift);

    const Exposure& estimate() const { return estimate_; }
    cv::Mat corrected, bright, dark;

private:
    Exposure estimate_{};
    ExposureTable built_{};
    bool tracking_ = false;  // an estimate exists since the snapshot
    bool valid_ = false;     // the corrected references are allocated and built
    int pendingRows_ = 0;    // rows still to bring to built_
    int nextRow_ = 0;        // the next of them
};

}  // namespace quexal::bkg
