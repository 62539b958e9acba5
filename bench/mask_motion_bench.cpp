// The whole mask effect on moving faces: the committed portraits placed on
// frames of three sizes at face widths from 12 % to 35 % of the frame
// width, swaying and bobbing, with the default settings and with a small
// minimum face and detection on a worker (frames then handed over at 30
// per second, as a camera would). One table: share of frames drawn, mean
// and 95th-percentile milliseconds per call.
//
// Usage: quexal_mask_motion [frames per case, default 90]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "face_frames.h"
#include "quexal/quexal.h"
#include "session/session.h"

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
constexpr int kSway = 20, kBob = 10;                 // pixels, peak
constexpr double kCameraPeriodMs = 1000.0 / 30.0;

// The photo scaled so that its face is `share` percent of the frame width,
// centred, then moved by (dx, dy); parts beyond the frame are cut off.
cv::Mat place(const cv::Mat& photo, const Portrait& p, cv::Size frame, int share, int dx, int dy) {
    const double heightShare = frame.width * share / 100.0 / p.faceToHeight / frame.height;
    return quexal::test::closeUp(photo, frame, heightShare, dx, dy);
}

struct Outcome {
    double drawnShare = 0, meanMs = 0, p95Ms = 0, maxMs = 0;
};

Outcome run(const cv::Mat& photo, const Portrait& p, cv::Size size, int share, bool options,
            int frames) {
    quexal::Session s;
    std::vector<uint8_t> picture(200 * 190 * 4);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i * 13);
    if (s.init(QUEXAL_DATA_ROOT, size.width, -size.height) != 1 ||
        s.setMaskImage(picture.data(), 200, 190, 2, QX_MASK_MAGIC) != QX_DONE)
        return {};
    if (options) {
        s.setOption("min_face_permille", 100);
        s.setOption("async_detect", 1);
    }
    // The frames are made beforehand so that only the effect is timed.
    std::vector<std::vector<uint8_t>> inputs;
    for (int i = 0; i < frames; ++i) {
        const double t = i / 30.0;
        const cv::Mat f = place(photo, p, size, share, static_cast<int>(kSway * std::sin(t * 2.0)),
                                static_cast<int>(kBob * std::sin(t * 3.1)));
        inputs.emplace_back(f.data, f.data + f.total() * 3);
    }
    std::vector<double> ms;
    int drawn = 0;
    std::vector<uint8_t> frame;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        if (options)  // a camera hands a frame over every 33 ms
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(static_cast<long>(i * kCameraPeriodMs * 1000)));
        frame = inputs[i];
        const Clock::time_point a = Clock::now();
        s.processMask(frame.data(), 0);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - a).count());
        drawn += frame != inputs[i];
    }
    Outcome o;
    o.drawnShare = 100.0 * drawn / frames;
    for (double m : ms) o.meanMs += m / frames;
    std::sort(ms.begin(), ms.end());
    o.p95Ms = ms[std::min<std::size_t>(ms.size() - 1, ms.size() * 95 / 100)];
    o.maxMs = ms.back();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(20, std::atoi(argv[1])) : 90;
    std::printf(
        "| portrait | frame | face %% of width | settings | drawn %% | mean ms | p95 ms | max ms "
        "|\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const Portrait& p : kPortraits) {
        const cv::Mat photo = cv::imread(std::string(QUEXAL_TEST_DATA) + "/" + p.file);
        if (photo.empty()) return 1;
        for (cv::Size size : kFrames)
            for (int share : kFaceShares)
                for (bool options : {false, true}) {
                    const Outcome o = run(photo, p, size, share, options, frames);
                    std::printf("| %s | %dx%d | %d | %s | %.0f | %.1f | %.1f | %.1f |\n", p.file,
                                size.width, size.height, share,
                                options ? "min_face 100, async" : "default", o.drawnShare, o.meanMs,
                                o.p95Ms, o.maxMs);
                    std::fflush(stdout);
                }
    }
    return 0;
}
