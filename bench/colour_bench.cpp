// The colour effect per mode and frame size, each next to the stock-OpenCV
// call that does the nearest job on the same uncached frames.
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_support.h"
#include "session/session.h"

namespace quexal::bench {
namespace {

void colourMode(benchmark::State& state, const FrameSize& size, int mode) {
    Session ctx;
    if (ctx.init(QUEXAL_DATA_ROOT, size.width, size.height) != 1) {
        state.SkipWithError("init failed");
        return;
    }
    FramePool pool(size.width, size.height);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ctx.processColor(pool.next(), mode));
        benchmark::ClobberMemory();
    }
    reportFrames(state, pool.frameBytes());
}

// Runs `work` in place on a cv::Mat view of each uncached frame.
template <typename Work>
void opencvPeer(benchmark::State& state, const FrameSize& size, Work work) {
    FramePool pool(size.width, size.height);
    for (auto _ : state) {
        cv::Mat frame(size.height, size.width, CV_8UC3, pool.next());
        work(frame);
        benchmark::ClobberMemory();
    }
    reportFrames(state, pool.frameBytes());
}

// Sepia and grey as 3x3 colour matrices (rows give blue, green, red).
const cv::Matx33f kSepiaMatrix(0.131f, 0.534f, 0.272f,  //
                               0.168f, 0.686f, 0.349f,  //
                               0.189f, 0.769f, 0.393f);
const cv::Matx33f kGreyMatrix(1 / 3.f, 1 / 3.f, 1 / 3.f,  //
                              1 / 3.f, 1 / 3.f, 1 / 3.f,  //
                              1 / 3.f, 1 / 3.f, 1 / 3.f);

void bitwiseNot(cv::Mat& f) {
    cv::bitwise_not(f, f);
}
void greyTransform(cv::Mat& f) {
    cv::transform(f, f, kGreyMatrix);
}
void sepiaTransform(cv::Mat& f) {
    cv::transform(f, f, kSepiaMatrix);
}
void sepiaBoxBlur(cv::Mat& f) {
    cv::transform(f, f, kSepiaMatrix);
    cv::blur(f, f, cv::Size(25, 25), cv::Point(-1, -1), cv::BORDER_REPLICATE);
}
void sepiaGaussianBlur(cv::Mat& f) {
    cv::transform(f, f, kSepiaMatrix);
    cv::GaussianBlur(f, f, cv::Size(5, 5), 0.0, 0.0, cv::BORDER_REPLICATE);
}

struct Pairing {
    int mode;
    const char* peer;
    void (*work)(cv::Mat&);
};

constexpr Pairing kPairings[] = {
    {16, "bitwise_not", bitwiseNot},
    {17, "grey_transform", greyTransform},
    {18, "sepia_transform_blur25", sepiaBoxBlur},
    {24, "sepia_transform_gauss5", sepiaGaussianBlur},
    {25, "sepia_transform", sepiaTransform},
};

const bool registered = [] {
    for (const FrameSize& size : kSizes) {
        for (const Pairing& p : kPairings) {
            const std::string subject = "colour/mode" + std::to_string(p.mode) + "/" + size.name;
            const std::string peer = std::string("opencv/") + p.peer + "/" + size.name;
            benchmark::RegisterBenchmark(
                subject.c_str(), [size, p](benchmark::State& s) { colourMode(s, size, p.mode); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(
                peer.c_str(), [size, p](benchmark::State& s) { opencvPeer(s, size, p.work); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            pairWithPeer(subject, peer);
        }
    }
    return true;
}();

}  // namespace
}  // namespace quexal::bench
