// The lens effect: a swirl, a mirror and five radial distortions, applied to
// the host's buffer through tables built once per mode change.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "session/geometry.h"

namespace quexal {

// The lens takes no frame before a size has been accepted.
inline constexpr int32_t kLensNoSize = -1;
// A size accepted, no table built for it yet.
inline constexpr int32_t kLensNoTables = 0;

class LensEffect {
public:
    explicit LensEffect(const FrameGeometry& geometry) : geometry_(geometry) {}

    // A new size: the tables are built again at the next frame.
    void reset() { mode = kLensNoTables; }
    void release();
    // `initialised`: the session's last init succeeded, so the distortions'
    // working image may be made.
    int process(uint8_t* frame, int32_t mode, bool initialised);

    // Tables of the mode in `mode`, built for the current frame size.
    int32_t mode = kLensNoSize;
    int32_t swirlSize = 0;          // side of the swirl square
    std::vector<int32_t> swirlMap;  // per square pixel: offset to its source
    std::vector<int32_t> remap;     // per pixel: source offset, or -1 to keep
    std::vector<uint8_t> copy;      // the frame as it came in, for the swirl
    cv::Mat image;                  // the distorted frame before its blur

private:
    bool buildTables(int32_t newMode);  // false when out of memory
    const FrameGeometry& geometry_;
};

}  // namespace quexal
