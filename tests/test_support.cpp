#include "test_support.h"

#include <filesystem>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <unistd.h>

namespace quexal::test {

std::string makeDataFolderWithout(const std::string& missing) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() /
                          ("quexal-data-" + std::to_string(::getpid()) + "-" + missing);
    fs::create_directories(root / "QXdata");
    for (const char* name : {"haarcascade_frontalface_alt.xml", "eye_8.xml"}) {
        if (missing == name) continue;
        fs::copy_file(fs::path(QUEXAL_DATA_ROOT) / "QXdata" / name, root / "QXdata" / name,
                      fs::copy_options::overwrite_existing);
    }
    return root.string();
}

cv::Mat loadPhoto(const std::string& name) {
    cv::Mat image = cv::imread(std::string(QUEXAL_TEST_DATA) + "/" + name, cv::IMREAD_COLOR);
    if (image.empty()) throw std::runtime_error("missing test photo " + name);
    return image;
}

std::vector<uint8_t> toHostFrame(const cv::Mat& bgr, bool bottomUp) {
    const std::size_t rowBytes = static_cast<std::size_t>(bgr.cols) * 3;
    std::vector<uint8_t> frame(rowBytes * bgr.rows);
    for (int y = 0; y < bgr.rows; ++y) {
        const int src = bottomUp ? bgr.rows - 1 - y : y;
        std::copy_n(bgr.ptr<uint8_t>(src), rowBytes, frame.data() + rowBytes * y);
    }
    return frame;
}

}  // namespace quexal::test
