// Background replacement of a whole frame with a still-picture source, with
// and without the halo and with exposure compensation, against OpenCV's
// MOG2 background subtractor plus a masked copy of the picture on the same
// frames. Everything runs on one core: OpenCV's own threads are switched
// off for the duration of each benchmark.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/background_segm.hpp>

#include "bench_support.h"
#include "quexal/quexal.h"
#include "session/session.h"

namespace quexal::bench {
namespace {

// A textured backdrop as the empty scene.
cv::Mat backdrop(int width, int height) {
    cv::Mat scene(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            scene.at<cv::Vec3b>(y, x) =
                cv::Vec3b(50 + 40 * x / width, 150 + 60 * y / height, 40 + (x + y) % 7);
    return scene;
}

// Frames of the scene with the photographed person pasted in, in a
// head-and-shoulders shape that moves a little from frame to frame.
std::vector<cv::Mat> personFrames(const cv::Mat& scene, int count) {
    cv::Mat photo = cv::imread(std::string(QUEXAL_TEST_DATA) + "/astronaut_320x240.png");
    cv::resize(photo, photo, scene.size(), 0, 0, cv::INTER_LINEAR);
    const int w = scene.cols, h = scene.rows;
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        const int dx = (i % 8 - 4) * w / 160;
        cv::Mat shape(scene.size(), CV_8UC1, cv::Scalar(0));
        cv::circle(shape, cv::Point(w / 2 + dx, h * 2 / 5), h / 4, cv::Scalar(255), cv::FILLED);
        cv::rectangle(shape, cv::Rect(w / 5 + dx, h * 5 / 8, w * 3 / 5, h), cv::Scalar(255),
                      cv::FILLED);
        cv::Mat frame = scene.clone();
        photo.copyTo(frame, shape);
        frames.push_back(frame);
    }
    return frames;
}

constexpr int kFrameCount = 16;

// OpenCV on one thread while in scope.
class SingleThreaded {
public:
    SingleThreaded() : previous_(cv::getNumThreads()) { cv::setNumThreads(1); }
    ~SingleThreaded() { cv::setNumThreads(previous_); }
    SingleThreaded(const SingleThreaded&) = delete;
    SingleThreaded& operator=(const SingleThreaded&) = delete;

private:
    int previous_;
};

enum class Options { kPlain, kHalo, kExposureCompensation };

void replaceBackground(benchmark::State& state, FrameSize size, Options options) {
    const SingleThreaded oneCore;
    const bool halo = options == Options::kHalo;
    auto ctx = std::make_unique<Session>();
    ctx->background.exposureCompensation = options == Options::kExposureCompensation;
    const cv::Mat scene = backdrop(size.width, size.height);
    const cv::Mat picture(scene.size(), CV_8UC3, cv::Scalar(255, 0, 255));
    if (ctx->init(QUEXAL_DATA_ROOT, size.width, -size.height) != 1 ||
        ctx->getBkgSnapshot(scene.data, size.width, size.height) != 1 ||
        ctx->setBkg(picture.data, QX_BKG_PICTURE, size.width, size.height) != 1) {
        state.SkipWithError("background replacement could not be set up");
        return;
    }
    const std::vector<cv::Mat> frames = personFrames(scene, kFrameCount);
    std::vector<uint8_t> frame(frames[0].total() * 3);
    std::size_t next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(frame.data(), frames[next].data, frame.size());
        next = (next + 1) % frames.size();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ctx->processBkg(frame.data(), halo, 0xFF, 0));
        benchmark::ClobberMemory();
    }
    reportFrames(state, frame.size());
}

// The stock peer: an adaptive mixture model of the background, then the
// picture copied over what it calls background.
void mog2AndMaskedCopy(benchmark::State& state, FrameSize size) {
    const SingleThreaded oneCore;
    const cv::Mat scene = backdrop(size.width, size.height);
    const cv::Mat picture(scene.size(), CV_8UC3, cv::Scalar(255, 0, 255));
    cv::Ptr<cv::BackgroundSubtractorMOG2> model = cv::createBackgroundSubtractorMOG2();
    cv::Mat foreground, background;
    for (int i = 0; i < 20; ++i) model->apply(scene, foreground);
    const std::vector<cv::Mat> frames = personFrames(scene, kFrameCount);
    cv::Mat frame = frames[0].clone();
    std::size_t next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        frames[next].copyTo(frame);
        next = (next + 1) % frames.size();
        state.ResumeTiming();
        model->apply(frame, foreground);
        cv::compare(foreground, 0, background, cv::CMP_EQ);
        picture.copyTo(frame, background);
        benchmark::ClobberMemory();
    }
    reportFrames(state, frame.total() * 3);
}

const bool registered = [] {
    for (const FrameSize& size : kSizes) {
        if (size.width > 1280) continue;  // the goals name 640x480 and 1280x720
        const std::string suffix = std::string("/") + size.name;
        const std::string peer = "bkg/mog2" + suffix;
        benchmark::RegisterBenchmark(
            ("bkg/picture" + suffix).c_str(),
            [size](benchmark::State& s) { replaceBackground(s, size, Options::kPlain); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            ("bkg/picture_halo" + suffix).c_str(),
            [size](benchmark::State& s) { replaceBackground(s, size, Options::kHalo); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("bkg/picture_exposure" + suffix).c_str(),
                                     [size](benchmark::State& s) {
                                         replaceBackground(s, size, Options::kExposureCompensation);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(peer.c_str(),
                                     [size](benchmark::State& s) { mog2AndMaskedCopy(s, size); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        pairWithPeer("bkg/picture" + suffix, peer);
        pairWithPeer("bkg/picture_halo" + suffix, peer);
        pairWithPeer("bkg/picture_exposure" + suffix, peer);
    }
    return true;
}();

}  // namespace
}  // namespace quexal::bench
