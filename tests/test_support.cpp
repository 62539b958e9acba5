#include "test_support.h"

#include <filesystem>
#include <stdexcept>

#include <unistd.h>
#include <opencv2/imgcodecs.hpp>

namespace quexal::test {

std::string makeDataFolderWithout(const std::string& missing) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("quexal-data-" + std::to_string(::getpid()) + "-" + missing);
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

#include <fstream>
#include <iterator>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace quexal::test {

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("quexal-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

bool writeTestVideo(const std::string& path, int width, int height, int frames) {
    cv::VideoWriter writer(path, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           10.0, cv::Size(width, height));
    if (!writer.isOpened()) return false;
    cv::Mat frame(height, width, CV_8UC3);
    for (int i = 0; i < frames; ++i) {
        for (int x = 0; x < width; ++x) {
            const int band = ((x + i * 4) / 8) % 3;
            frame.col(x).setTo(
                cv::Scalar(band == 0 ? 200 : 30, band == 1 ? 200 : 30, band == 2 ? 200 : 30));
        }
        writer.write(frame);
    }
    return true;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long processStatusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    const std::string key = name + ":";
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return -1;
}

}  // namespace quexal::test
