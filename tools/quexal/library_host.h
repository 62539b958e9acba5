#pragma once

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

#include "quexal/quexal.h"

namespace qxcli {

// Row order of the frames handed to the library. BottomUp is the classic
// bitmap order (positive height at init), TopDown is OpenCV's (negative).
enum class RowOrder { BottomUp, TopDown };

const char* rowOrderName(RowOrder order);

// Folder of the running executable (empty when it cannot be told).
std::filesystem::path executableDir();

// The folder that holds QXdata: the override when given, else the
// executable's folder (the build folder) or the installed share/quexal,
// whichever has the cascades. Throws HostError when none does.
std::string findDataRoot(const std::string& override);

// Folder of the sample pictures and masks shipped with the tool (data/ of
// the source tree for the program in the build folder, share/quexal once
// installed). Throws when missing.
std::filesystem::path findSampleRoot();

// The host's library session: one stream at a time, so one session for
// the whole run, kept from the first call to the end of the program.
QxSession* hostSession();

// Initialises the host's session for frames of this size; throws HostError
// when qx_init refuses.
void initLibrary(const std::string& dataRoot, cv::Size size, RowOrder order);

// Runs fn(buffer) on the frame laid out in the host's row order and brings
// the result back into the top-down image. The image must be 8-bit BGR.
template <class Fn>
int withHostFrame(cv::Mat& image, RowOrder order, Fn&& fn) {
    CV_Assert(image.type() == CV_8UC3 && image.isContinuous());
    if (order == RowOrder::TopDown) return fn(image.data);
    cv::Mat flipped;
    cv::flip(image, flipped, 0);
    const int code = fn(flipped.data);
    cv::flip(flipped, image, 0);
    return code;
}

// The image's rows in the host's row order, as a new continuous copy.
cv::Mat toHostOrder(const cv::Mat& image, RowOrder order);

}  // namespace qxcli
