// Helpers shared by the tests: frames, test photos, data folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace quexal::test {

// A host frame: packed BGR, width * 3 bytes a row.
struct Frame {
    Frame(int width, int height, uint8_t fill = 0)
        : width(width), height(height), bytes(static_cast<std::size_t>(width) * height * 3, fill) {}
    uint8_t* data() { return bytes.data(); }
    int width, height;
    std::vector<uint8_t> bytes;
};

// A temporary folder with a QXdata folder holding the cascades, less the
// named file. Answers the folder to pass to init.
std::string makeDataFolderWithout(const std::string& missing);

// Loads a committed test photo (tests/data) as 8-bit BGR.
cv::Mat loadPhoto(const std::string& name);

// Host buffer of an image in the host's row order: bottom row first when
// bottomUp is true.
std::vector<uint8_t> toHostFrame(const cv::Mat& bgr, bool bottomUp);

}  // namespace quexal::test

namespace quexal::test {

// A path under the temporary folder, unique to this process.
std::string tempPath(const std::string& name);

// Writes a small Motion-JPEG AVI clip (moving colour bars) with OpenCV's
// own encoder. Answers false when it could not be written.
bool writeTestVideo(const std::string& path, int width, int height, int frames);

// Writes the given bytes to a file, replacing it.
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// A numeric field of /proc/self/status ("Threads", "VmRSS" in kB, ...), or
// -1 when it is not there.
long processStatusField(const std::string& name);

// The bytes of a file (empty when it cannot be read).
std::vector<uint8_t> readFile(const std::string& path);

}  // namespace quexal::test
