// The tables a Haar cascade scan reads, shared by the portable scan and the
// AVX2 row classifier that runs the first stages on eight windows at once.
#pragma once

#include <cstdint>

namespace quexal::detail {

// One weak classifier: the feature below or above the threshold picks a leaf.
struct HaarStump {
    int32_t feature;
    float threshold, left, right;
};

struct HaarStage {
    int32_t first, count;
    float threshold;
};

// A feature as offsets into the summed tables from a window's top-left
// corner: corners[r] are the four corners of rectangle r, in the order
// added, subtracted, subtracted, added.
struct HaarFeature {
    int32_t corners[3][4];
    float weights[3];
};

// One row of windows to classify: windows start at `origin` and every
// `stride` (1 or 2) entries of the summed table.
struct HaarRow {
    const int32_t* origin;
    int32_t count, stride;
    int32_t squaresOffset;   // from the sums to the squared sums
    int32_t normCorners[4];  // the rectangle the variance is measured on
    double normArea;
    const HaarFeature* features;
    const HaarStump* stumps;
    const HaarStage* stages;
    int32_t stageCount;
};

// Classifies the row's windows by blocks of eight while enough of a block
// is undecided. results[i] is -1 for a window too flat to classify, -s for
// one rejected by stage s, or 1 + s when it passed the first s stages and
// the rest is left to the caller; factors[i] is its variance normalisation.
// Both arrays need room for `count` rounded up to a multiple of 8.
void classifyRowAvx2(const HaarRow& row, int32_t* results, float* factors);

}  // namespace quexal::detail
