#include "mask/cascade/cascade_search.h"

#include "mask/face_geometry.h"

namespace quexal {

bool CascadeSearch::load(const std::string& path) {
    clear();
    try {
        if (!classifier_.load(path) || classifier_.empty()) {
            clear();
            return false;
        }
    } catch (const cv::Exception&) {
        clear();
        return false;
    }
    if (!scan_.load(path)) scan_ = HaarCascade();  // OpenCV's own scan then
    return true;
}

void CascadeSearch::find(const cv::Mat& gray, double scaleStep, cv::Size minWindow,
                         std::vector<cv::Rect>& windows) {
    windows.clear();
    if (empty()) return;
    if (fast())
        scan_.detectRaw(gray, scaleStep, minWindow, windows);
    else
        classifier_.detectMultiScale(gray, windows, scaleStep, 0, 0, minWindow);
    sortInScanOrder(windows);
}

}  // namespace quexal
