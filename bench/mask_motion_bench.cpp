// The whole mask effect on moving faces: the committed portraits placed on
// frames of three sizes at face widths from 12 % to 35 % of the frame
// width, swaying and bobbing, with the default settings and with a small
// minimum face and detection on a worker (frames then handed over at 30
// per second, as a camera would). One table: share of frames drawn, the
// first call that drew, then mean, 95th-percentile and longest call from
// there on. A second table: how steady the overlay sits on a still face
// under camera noise (standard deviation of its centre).
//
// Usage: quexal_mask_motion [frames per case, default 150]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "face_frames.h"
#include "quexal/quexal.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Portrait {
    const char* file;
    double faceToHeight;  // detected face width over the photo's height, measured
};
constexpr Portrait kPortraits[] = {{"astronaut_320x240.png", 0.46},
                                   {"solvay_face_320x240.png", 0.50}};
const cv::Size kFrames[] = {{640, 480}, {1280, 720}, {1920, 1080}};
constexpr int kFaceShares[] = {12, 18, 22, 28, 35};  // percent of the frame width
constexpr int kSteadyShare = 28;
constexpr int kSway = 20, kBob = 10;  // pixels, peak
constexpr double kNoiseSigma = 3.0;   // grey levels, a webcam in a lit room
constexpr double kCameraPeriodMs = 1000.0 / 30.0;
constexpr int kPictureWidth = 200, kPictureHeight = 190;

// The photo scaled so that its face is `share` percent of the frame width,
// centred, then moved by (dx, dy); parts beyond the frame are cut off.
cv::Mat place(const cv::Mat& photo, const Portrait& p, cv::Size frame, int share, int dx, int dy) {
    const double heightShare = frame.width * share / 100.0 / p.faceToHeight / frame.height;
    return quexal::test::closeUp(photo, frame, heightShare, dx, dy);
}

// A session with an opaque patterned picture of kind 2 registered.
bool prepare(quexal::Session& s, cv::Size size, bool options) {
    std::vector<uint8_t> picture(kPictureWidth * kPictureHeight * 4);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i * 13);
    if (!s.init(QUEXAL_DATA_ROOT, size.width, size.height, quexal::RowOrder::TopDown) ||
        s.setMaskPicture(picture.data(), kPictureWidth, kPictureHeight,
                         quexal::MaskKind::OnFacePoint) != QX_DONE)
        return false;
    if (options) {
        s.setMinFacePermille(100);
        s.setAsyncDetect(true);
    }
    return true;
}

std::vector<std::vector<uint8_t>> swayingFrames(const cv::Mat& photo, const Portrait& p,
                                                cv::Size size, int share, int frames) {
    std::vector<std::vector<uint8_t>> out;
    for (int i = 0; i < frames; ++i) {
        const double t = i / 30.0;
        const cv::Mat f = place(photo, p, size, share, static_cast<int>(kSway * std::sin(t * 2.0)),
                                static_cast<int>(kBob * std::sin(t * 3.1)));
        out.emplace_back(f.data, f.data + f.total() * 3);
    }
    return out;
}

struct Outcome {
    double drawnShare = 0, firstMs = 0, meanMs = 0, p95Ms = 0, maxMs = 0;
};

// Runs the frames through the mask; `paced` hands them over at camera rate.
// Calls are timed from the one after the first that drew (the first
// detection), or all of them when none drew.
Outcome run(quexal::Session& s, const std::vector<std::vector<uint8_t>>& inputs, bool paced) {
    std::vector<double> ms;
    int drawn = 0, first = -1;
    std::vector<uint8_t> frame;
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (paced)
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(static_cast<long>(i * kCameraPeriodMs * 1000)));
        frame = inputs[i];
        const Clock::time_point a = Clock::now();
        s.mask(frame.data(), quexal::MaskMode::Picture);
        const double took = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
        const bool drew = frame != inputs[i];
        drawn += drew;
        if (first < 0 && drew) first = static_cast<int>(i);
        ms.push_back(took);
    }
    Outcome o;
    o.drawnShare = 100.0 * drawn / static_cast<double>(inputs.size());
    if (first >= 0) {  // from the first drawn frame on; all calls when none drew
        o.firstMs = ms[static_cast<std::size_t>(first)];
        ms.erase(ms.begin(), ms.begin() + first + 1);
    }
    if (ms.empty()) return o;
    for (double m : ms) o.meanMs += m / static_cast<double>(ms.size());
    std::sort(ms.begin(), ms.end());
    o.p95Ms = ms[std::min<std::size_t>(ms.size() - 1, ms.size() * 95 / 100)];
    o.maxMs = ms.back();
    return o;
}

// Standard deviation of the drawn overlay's centre (the centroid of the
// pixels the mask changed) over a still face with fresh noise every frame.
cv::Point2d steadiness(const cv::Mat& photo, const Portrait& p, cv::Size size, int frames) {
    quexal::Session s;
    if (!prepare(s, size, false)) return {-1, -1};
    const cv::Mat still = place(photo, p, size, kSteadyShare, 0, 0);
    cv::RNG rng(7);
    std::vector<cv::Point2d> centres;
    cv::Mat noisy, noise(size, CV_16SC3), changed;
    for (int i = 0; i < frames; ++i) {
        rng.fill(noise, cv::RNG::NORMAL, 0, kNoiseSigma);
        still.convertTo(noisy, CV_16SC3);
        noisy += noise;
        noisy.convertTo(noisy, CV_8UC3);
        cv::Mat out = noisy.clone();
        s.mask(out.data, quexal::MaskMode::Picture);
        cv::Mat diff;
        cv::absdiff(out, noisy, diff);
        cv::cvtColor(diff, changed, cv::COLOR_BGR2GRAY);
        const cv::Moments m = cv::moments(changed > 0, true);
        if (m.m00 > 0) centres.emplace_back(m.m10 / m.m00, m.m01 / m.m00);
    }
    if (centres.size() < 2) return {-1, -1};
    cv::Point2d mean, var;
    for (const auto& c : centres) mean += c * (1.0 / static_cast<double>(centres.size()));
    for (const auto& c : centres) {
        var.x += (c.x - mean.x) * (c.x - mean.x) / static_cast<double>(centres.size());
        var.y += (c.y - mean.y) * (c.y - mean.y) / static_cast<double>(centres.size());
    }
    return {std::sqrt(var.x), std::sqrt(var.y)};
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(20, std::atoi(argv[1])) : 150;
    std::vector<cv::Mat> photos;
    for (const Portrait& p : kPortraits) {
        photos.push_back(cv::imread(std::string(QUEXAL_TEST_DATA) + "/" + p.file));
        if (photos.back().empty()) return 1;
    }

    std::printf(
        "| portrait | frame | face %% of width | settings | drawn %% | first ms | mean ms | "
        "p95 ms | max ms |\n|---|---|---|---|---|---|---|---|---|\n");
    for (std::size_t k = 0; k < photos.size(); ++k)
        for (cv::Size size : kFrames)
            for (int share : kFaceShares) {
                const auto inputs = swayingFrames(photos[k], kPortraits[k], size, share, frames);
                for (bool options : {false, true}) {
                    quexal::Session s;
                    if (!prepare(s, size, options)) return 1;
                    const Outcome o = run(s, inputs, options);
                    std::printf("| %s | %dx%d | %d | %s | %.0f | %.1f | %.2f | %.2f | %.2f |\n",
                                kPortraits[k].file, size.width, size.height, share,
                                options ? "min_face 100, async" : "default", o.drawnShare,
                                o.firstMs, o.meanMs, o.p95Ms, o.maxMs);
                    std::fflush(stdout);
                }
            }

    std::printf(
        "\n| portrait | frame | face %% of width | centre sd x px | centre sd y px |\n"
        "|---|---|---|---|---|\n");
    for (std::size_t k = 0; k < photos.size(); ++k)
        for (cv::Size size : kFrames) {
            const cv::Point2d sd = steadiness(photos[k], kPortraits[k], size, frames);
            std::printf("| %s | %dx%d | %d | %.2f | %.2f |\n", kPortraits[k].file, size.width,
                        size.height, kSteadyShare, sd.x, sd.y);
            std::fflush(stdout);
        }
    return 0;
}
