// A cascade as the detection uses it: OpenCV's classifier, which decides
// whether a file is a cascade at all, and beside it the faster scan of the
// same file (same windows, a quarter of the time) whenever the file is one
// that scan reads, boosted Haar stumps like every cascade in the data
// folder. Each search owns one: neither may be used by two threads at once.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include "mask/cascade/haar_cascade.h"

namespace quexal {

class CascadeSearch {
public:
    // False (and empty) when OpenCV cannot load the file as a cascade.
    bool load(const std::string& path);
    void clear() { *this = CascadeSearch(); }
    bool empty() const { return classifier_.empty(); }
    bool fast() const { return !scan_.empty(); }
    // Leaves the search to OpenCV's classifier alone (the reference the
    // tests compare the faster scan with).
    void dropFastScan() { scan_ = HaarCascade(); }

    // Every window the cascade accepts, ungrouped (minimum neighbours 0),
    // sorted in scan order so that the result does not depend on threading.
    void find(const cv::Mat& gray, double scaleStep, cv::Size minWindow,
              std::vector<cv::Rect>& windows);

private:
    cv::CascadeClassifier classifier_;
    HaarCascade scan_;
};

}  // namespace quexal
