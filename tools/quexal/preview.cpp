#include "preview.h"

#include <cstdlib>

#include <opencv2/highgui.hpp>

#include "host_error.h"

namespace qxcli {

namespace {

constexpr int kEscape = 27;
// Long enough for the window system to draw, short enough not to slow a
// 30 fps camera.
constexpr int kEventWaitMs = 1;

bool haveDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

Preview::Preview(std::string title) : title_(std::move(title)) {
    if (!haveDisplay()) throw HostError("--show needs a display (DISPLAY is not set)");
    try {
        // GUI_NORMAL: the picture alone, without the toolbar Qt builds add.
        cv::namedWindow(title_, cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL);
    } catch (const cv::Exception&) {
        throw HostError("--show: cannot open a window on the display");
    }
}

Preview::~Preview() {
    try {
        cv::destroyWindow(title_);
        cv::waitKey(kEventWaitMs);
    } catch (const cv::Exception&) {
        // The window is gone already; nothing to tidy.
    }
}

void Preview::show(const cv::Mat& frame) {
    cv::imshow(title_, frame);
    const int key = cv::waitKey(kEventWaitMs) & 0xFF;
    if (key == kEscape || key == 'q') closeRequested_ = true;
    if (cv::getWindowProperty(title_, cv::WND_PROP_VISIBLE) < 1) closeRequested_ = true;
}

}  // namespace qxcli
