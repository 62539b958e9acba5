// Shared pieces of the benchmarks: frame sizes, a pool of frames too large
// to stay in cache, the memcpy floor, and ratio reporting.
//
// Every effect benchmark registers itself next to two peers timed in the
// same run: the memcpy of one frame (the floor: no effect can be cheaper
// than reading and writing the frame once) and a stock-OpenCV call that
// does the nearest equivalent job. Ratios are printed as counters.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace quexal::bench {

struct FrameSize {
    int width, height;
    const char* name;
};

inline constexpr FrameSize kSizes[] = {
    {640, 480, "640x480"}, {1280, 720, "1280x720"}, {1920, 1080, "1920x1080"}};

// Enough distinct frames that, cycled through, the working set exceeds the
// last-level cache: each iteration touches a frame that is not cached.
class FramePool {
public:
    FramePool(int width, int height, uint8_t seed = 1, std::size_t minBytes = 64u << 20)
        : frameBytes_(static_cast<std::size_t>(width) * height * 3) {
        std::size_t count = minBytes / frameBytes_ + 1;
        if (count < 4) count = 4;
        frames_.resize(count, std::vector<uint8_t>(frameBytes_));
        uint32_t x = seed;
        for (auto& f : frames_)
            for (auto& b : f) {
                x = x * 1103515245u + 12345u;
                b = static_cast<uint8_t>(x >> 24);
            }
    }
    uint8_t* next() {
        uint8_t* f = frames_[index_].data();
        index_ = (index_ + 1) % frames_.size();
        return f;
    }
    std::size_t frameBytes() const { return frameBytes_; }

private:
    std::size_t frameBytes_;
    std::size_t index_ = 0;
    std::vector<std::vector<uint8_t>> frames_;
};

// Sets the per-frame throughput counters every benchmark reports.
inline void reportFrames(benchmark::State& state, std::size_t frameBytes) {
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frameBytes));
}

// The floor: copy one uncached frame into another uncached frame.
inline void memcpyFloor(benchmark::State& state, int width, int height) {
    FramePool src(width, height, 1), dst(width, height, 2);
    for (auto _ : state) {
        std::memcpy(dst.next(), src.next(), src.frameBytes());
        benchmark::ClobberMemory();
    }
    reportFrames(state, src.frameBytes());
}

// Prints, after the run, each benchmark's time per frame and its ratio to
// the memcpy floor and to its peer of the same size. Benchmarks are matched
// by name: "<family>/<case>/<size>", with "memcpy/<size>" as the floor.
//
// Benchmark files name each subject's peer with pairWithPeer, at static
// initialisation, next to the registration of both.
std::map<std::string, std::string>& peers();

inline bool pairWithPeer(const std::string& subject, const std::string& peer) {
    peers()[subject] = peer;
    return true;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                msPerFrame_[baseName(run.benchmark_name())] =
                    run.GetAdjustedRealTime() * unitToMs(run.time_unit);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-52s %10s %10s %10s\n", "benchmark", "ms/frame", "x memcpy", "x peer");
        for (const auto& [name, ms] : msPerFrame_) {
            const std::string size = name.substr(name.rfind('/') + 1);
            const double floor = lookup("memcpy/" + size);
            auto it = peers().find(name);
            const double peer = it == peers().end() ? 0.0 : lookup(it->second);
            std::printf("%-52s %10.3f %10s %10s\n", name.c_str(), ms, ratio(ms, floor).c_str(),
                        ratio(ms, peer).c_str());
        }
    }

private:
    // Drops the suffixes the library appends ("/real_time", ...).
    static std::string baseName(std::string name) {
        for (const char* suffix : {"/real_time", "/manual_time"}) {
            const std::size_t at = name.find(suffix);
            if (at != std::string::npos) name.erase(at);
        }
        return name;
    }
    static double unitToMs(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kNanosecond: return 1e-6;
            case benchmark::kMicrosecond: return 1e-3;
            case benchmark::kMillisecond: return 1.0;
            default: return 1e3;
        }
    }
    double lookup(const std::string& name) const {
        auto it = msPerFrame_.find(name);
        return it == msPerFrame_.end() ? 0.0 : it->second;
    }
    static std::string ratio(double a, double b) {
        if (b <= 0.0) return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", a / b);
        return text;
    }

    std::map<std::string, double> msPerFrame_;
};

}  // namespace quexal::bench
