// Runs every registered benchmark with the memcpy floor at each frame size
// and prints the ratio table after the usual report.
#include "bench_support.h"

namespace quexal::bench {

std::map<std::string, std::string>& peers() {
    static std::map<std::string, std::string> table;
    return table;
}

namespace {

const bool floorsRegistered = [] {
    for (const FrameSize& size : kSizes)
        benchmark::RegisterBenchmark(
            (std::string("memcpy/") + size.name).c_str(),
            [size](benchmark::State& s) { memcpyFloor(s, size.width, size.height); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    return true;
}();

}  // namespace
}  // namespace quexal::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    quexal::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
