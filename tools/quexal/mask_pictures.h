#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace qxcli {

// The sample mask pictures: 4-byte BGRA, drawn here so the project owns
// them. The 200x190 ones suit kinds 1, 2 and 8, the 100x90 ones kinds 3, 4.
cv::Mat drawHat();            // 200x190, a top hat sitting above the head (kind 1)
cv::Mat drawGlasses();        // 200x190, sunglasses on the eye line (kinds 2, 8)
cv::Mat drawEyeMask();        // 100x90, a masquerade band round the eyes (kind 4)
cv::Mat drawNoseMoustache();  // 100x90, clown nose and moustache (kind 3)

struct MaskPicture {
    std::string file;  // e.g. "hat_200x190.png"
    int kind;          // the kind it is drawn for
    cv::Mat pixels;    // BGRA
};

std::vector<MaskPicture> sampleMaskPictures();

// Writes every sample picture as PNG into dir (created if needed); returns
// the paths written.
std::vector<std::filesystem::path> writeMaskPictures(const std::filesystem::path& dir);

}  // namespace qxcli
