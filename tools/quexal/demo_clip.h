#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace qxcli {

// The demo's input: the portrait, cut out, rises into a still scene and
// sways to and fro with a slight tilt. The first frames show the scene
// alone, so background replacement can take its reference from frame 0.
struct DemoClip {
    std::vector<cv::Mat> frames;  // BGR, top row first
    int emptyFrames = 0;          // leading frames without the person
    double fps = 15.0;
};

// portrait and scene must have the same size.
DemoClip synthesiseClip(const cv::Mat& portrait, const cv::Mat& scene);

// A slow pan across the picture, written as an MJPG video for the
// background effect's video source.
void writePanVideo(const cv::Mat& picture, const std::string& path, int frames, double fps);

}  // namespace qxcli
