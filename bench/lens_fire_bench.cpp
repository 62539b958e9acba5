// The lens modes and the fire at each frame size, beside their stock-OpenCV
// peers: cv::remap with INTER_NEAREST on a map precomputed from the same
// table (plus the 3x3 Gaussian for the distortions). Tables are built before
// the timed loop, as the effect builds them once per mode change.
#include <opencv2/imgproc.hpp>

#include "bench_support.h"
#include "effects/lens/lens_maps.h"
#include "session/session.h"

namespace quexal::bench {
namespace {

std::string caseName(const char* family, int mode, const FrameSize& size) {
    return std::string(family) + "/mode" + std::to_string(mode) + "/" + size.name;
}

void lensMode(benchmark::State& state, int mode, FrameSize size) {
    Session ctx;
    if (ctx.init(QUEXAL_DATA_ROOT, size.width, -size.height) != 1) {
        state.SkipWithError("init failed");
        return;
    }
    FramePool frames(size.width, size.height);
    ctx.processLens(frames.next(), mode);  // builds the table
    for (auto _ : state) {
        ctx.processLens(frames.next(), mode);
        benchmark::ClobberMemory();
    }
    reportFrames(state, frames.frameBytes());
}

// Source coordinates of every pixel for `mode`, as cv::remap takes them.
void peerMap(int mode, int width, int height, cv::Mat& mapX, cv::Mat& mapY) {
    mapX.create(height, width, CV_32FC1);
    mapY.create(height, width, CV_32FC1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            mapX.at<float>(y, x) = static_cast<float>(x);
            mapY.at<float>(y, x) = static_cast<float>(y);
        }
    if (mode == kLensMirror) {
        for (int y = 0; y < height; ++y)
            for (int x = width / 2; x < width; ++x)
                mapX.at<float>(y, x) = static_cast<float>(width - x);
    } else if (mode == kLensSwirl) {
        const SwirlMap swirl = buildSwirlMap(width, height);
        const int top = swirlSquareTop(height, swirl.size),
                  left = swirlSquareLeft(width, swirl.size);
        for (int j = 0; j < swirl.size; ++j)
            for (int c = 0; c < swirl.size; ++c) {
                const int src =
                    ((top + j) * width + left + c) * 3 + swirl.offsets[j * swirl.size + c];
                mapX.at<float>(top + j, left + c) = static_cast<float>(src / 3 % width);
                mapY.at<float>(top + j, left + c) = static_cast<float>(src / 3 / width);
            }
    } else {
        const std::vector<int32_t> remap = buildLensRemap(width, height, mode);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int32_t e = remap[y * width + x];
                if (e == kKeepPixel) continue;
                mapX.at<float>(y, x) = static_cast<float>(e / 3 % width);
                mapY.at<float>(y, x) = static_cast<float>(e / 3 / width);
            }
    }
}

void remapPeer(benchmark::State& state, int mode, FrameSize size) {
    cv::Mat mapX, mapY, map1, map2;
    peerMap(mode, size.width, size.height, mapX, mapY);
    cv::convertMaps(mapX, mapY, map1, map2, CV_16SC2, true);
    FramePool src(size.width, size.height, 1), dst(size.width, size.height, 2);
    for (auto _ : state) {
        cv::Mat in(size.height, size.width, CV_8UC3, src.next());
        cv::Mat out(size.height, size.width, CV_8UC3, dst.next());
        cv::remap(in, out, map1, map2, cv::INTER_NEAREST, cv::BORDER_REPLICATE);
        if (mode >= kLensFirstDistortion)
            cv::GaussianBlur(out, out, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
    reportFrames(state, src.frameBytes());
}

void fireFrame(benchmark::State& state, FrameSize size) {
    Session ctx;
    if (ctx.init(QUEXAL_DATA_ROOT, size.width, size.height) != 1) {
        state.SkipWithError("init failed");
        return;
    }
    FramePool frames(size.width, size.height);
    ctx.processFire(frames.next());  // the warm-up
    for (auto _ : state) {
        ctx.processFire(frames.next());
        benchmark::ClobberMemory();
    }
    reportFrames(state, frames.frameBytes());
}

const bool registered = [] {
    for (const FrameSize& size : kSizes) {
        for (int mode = kLensSwirl; mode <= kLensLastDistortion; ++mode) {
            const std::string subject = caseName("lens", mode, size);
            const std::string peer = caseName("cvremap", mode, size);
            benchmark::RegisterBenchmark(
                subject.c_str(), [mode, size](benchmark::State& s) { lensMode(s, mode, size); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(
                peer.c_str(), [mode, size](benchmark::State& s) { remapPeer(s, mode, size); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            pairWithPeer(subject, peer);
        }
        benchmark::RegisterBenchmark((std::string("fire/render/") + size.name).c_str(),
                                     [size](benchmark::State& s) { fireFrame(s, size); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

}  // namespace
}  // namespace quexal::bench
