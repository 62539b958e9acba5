#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace qxcli {

// A window showing the frames as they are written (quexal run --show).
// Closing it, or pressing Esc or q in it, asks the run to stop.
class Preview {
public:
    // Throws HostError when no display can be opened.
    explicit Preview(std::string title);
    ~Preview();
    Preview(const Preview&) = delete;
    Preview& operator=(const Preview&) = delete;

    void show(const cv::Mat& frame);
    bool closeRequested() const { return closeRequested_; }

private:
    std::string title_;
    bool closeRequested_ = false;
};

}  // namespace qxcli
