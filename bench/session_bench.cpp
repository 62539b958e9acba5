// Sessions: frames per second of two sessions on two threads against one
// session alone (lens 3 and background at 1280x720), and the resident
// memory a session holds after colour alone and after every effect.
#include <malloc.h>

#include <chrono>
#include <thread>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_support.h"
#include "quexal/quexal.hpp"

namespace quexal::bench {
namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kScalingFrames = 60;

// A stream of one session: lens 3 then background replacement on a moving
// figure in front of a textured scene.
class Stream {
public:
    Stream() : scene_(kHeight, kWidth, CV_8UC3) {
        cv::randu(scene_, cv::Scalar::all(40), cv::Scalar::all(200));
        cv::GaussianBlur(scene_, scene_, {0, 0}, 3.0);
        const cv::Mat sky(scene_.size(), CV_8UC3, cv::Scalar(230, 180, 90));
        ok_ = session_.init(QUEXAL_DATA_ROOT, kWidth, kHeight, RowOrder::TopDown) &&
              session_.snapshot(scene_.data, kWidth, kHeight) == 1 &&
              session_.setBackgroundPicture(sky.data, kWidth, kHeight) == 1;
        frame_ = scene_.clone();
    }
    bool ok() const { return ok_; }

    void frame(int i) {
        scene_.copyTo(frame_);
        cv::ellipse(frame_, {400 + (i % 40) * 4, 420}, {150, 300}, 0, 0, 360,
                    cv::Scalar(60, 90, 160), cv::FILLED);
        session_.lens(frame_.data, Lens::Bulge);
        session_.background(frame_.data);
    }

private:
    Session session_;
    cv::Mat scene_, frame_;
    bool ok_ = false;
};

double secondsFor(int streams) {
    std::vector<Stream> all(streams);
    for (const Stream& s : all)
        if (!s.ok()) return -1.0;
    for (Stream& s : all) s.frame(0);  // tables, buffers
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (Stream& s : all)
        threads.emplace_back([&s] {
            for (int i = 1; i <= kScalingFrames; ++i) s.frame(i);
        });
    for (std::thread& t : threads) t.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// OpenCV's own threads would share the two cores with the streams' threads:
// each session runs on one core, as a host with one stream a core runs it.
void twoSessionsOnTwoThreads(benchmark::State& state) {
    const int threadsBefore = cv::getNumThreads();
    cv::setNumThreads(0);
    double one = 0, two = 0;
    for (auto _ : state) {
        one = secondsFor(1);
        two = secondsFor(2);
    }
    cv::setNumThreads(threadsBefore);
    if (one <= 0 || two <= 0) {
        state.SkipWithError("sessions could not be set up");
        return;
    }
    const double fpsOne = kScalingFrames / one, fpsTwo = 2 * kScalingFrames / two;
    state.counters["fps_one_session"] = fpsOne;
    state.counters["fps_two_sessions"] = fpsTwo;
    state.counters["scaling"] = fpsTwo / fpsOne;
}

// Bytes the allocator has handed out and not taken back (heap and mmap'd
// blocks): unlike the resident set, it falls when memory is freed, so the
// difference is what the session holds.
double heapMegabytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// Memory a 1920x1080 session holds: after colour alone, then after every
// effect has run once. The cascades, loaded at init, are part of both.
void sessionMemory(benchmark::State& state) {
    constexpr int w = 1920, h = 1080;
    double colourOnly = 0, everything = 0;
    for (auto _ : state) {
        cv::Mat frame(h, w, CV_8UC3, cv::Scalar(90, 120, 150));
        cv::Mat rgba(190, 200, CV_8UC4, cv::Scalar(0, 0, 255, 255));
        const double before = heapMegabytes();
        Session s;
        s.init(QUEXAL_DATA_ROOT, w, h, RowOrder::TopDown);
        s.colour(frame.data, Colour::Glow);
        colourOnly = heapMegabytes() - before;
        s.setMaskPicture(rgba.data, 200, 190, MaskKind::AboveFace);
        s.mask(frame.data);
        for (Lens mode : {Lens::Swirl, Lens::Bulge}) s.lens(frame.data, mode);
        s.fire(frame.data);
        s.snapshot(frame.data, w, h);
        s.setBackgroundPicture(frame.data, w, h);
        s.background(frame.data);
        everything = heapMegabytes() - before;
    }
    state.counters["colour_only_MB"] = colourOnly;
    state.counters["every_effect_MB"] = everything;
    state.counters["frame_MB"] = w * h * 3 / (1024.0 * 1024.0);
}

BENCHMARK(twoSessionsOnTwoThreads)
    ->Name("sessions/two_threads/1280x720")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(sessionMemory)
    ->Name("sessions/memory/1920x1080")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quexal::bench
