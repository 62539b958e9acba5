#include <csignal>
#include <optional>
#include <cstdio>
#include <stdexcept>

#include "commands.h"
#include "effect_runner.h"
#include "host_error.h"
#include "library_host.h"
#include "media.h"
#include "progress.h"

namespace qxcli {

namespace {

volatile std::sig_atomic_t gStopRequested = 0;
void requestStop(int) { gStopRequested = 1; }

struct RunArgs {
    std::string effect, input, output, dataOverride;
    EffectOptions options;
    RowOrder order = RowOrder::BottomUp;
    int frames = 0;  // 0: all
    double fps = 0;  // 0: the input's
    bool quiet = false;
};

RunArgs parseRunArgs(const Args& args) {
    RunArgs run;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--picture") run.options.picture = optionValue(args, i);
        else if (a == "--kind") run.options.kind = parseInt(a, optionValue(args, i));
        else if (a == "--source") run.options.source = optionValue(args, i);
        else if (a == "--reference") run.options.reference = optionValue(args, i);
        else if (a == "--halo") { run.options.halo = true; run.options.haloColor = parseColour(a, optionValue(args, i)); }
        else if (a == "--cut-line") run.options.cutLine = parseInt(a, optionValue(args, i));
        else if (a == "--top-down") run.order = RowOrder::TopDown;
        else if (a == "--bottom-up") run.order = RowOrder::BottomUp;
        else if (a == "--frames") run.frames = parseInt(a, optionValue(args, i));
        else if (a == "--fps") run.fps = parseDouble(a, optionValue(args, i));
        else if (a == "--data") run.dataOverride = optionValue(args, i);
        else if (a == "--quiet") run.quiet = true;
        else if (a.rfind("--", 0) == 0) throw HostError("unknown option " + a);
        else positional.push_back(a);
    }
    if (positional.size() != 3) throw HostError("usage: quexal run EFFECT INPUT OUTPUT [options] (see quexal help)");
    run.effect = positional[0];
    run.input = positional[1];
    run.output = positional[2];
    if (run.frames < 0) throw HostError("--frames takes a count of 0 or more");
    if (run.options.cutLine < 0 || run.options.cutLine > 100) throw HostError("--cut-line takes 0..100");
    return run;
}

std::string knownList() {
    std::string all;
    for (const std::string& n : knownEffectNames()) all += (all.empty() ? "" : ", ") + n;
    return all;
}

}  // namespace

int runCommand(const Args& args) {
    const RunArgs run = parseRunArgs(args);
    const auto choice = parseEffect(run.effect);
    if (!choice) throw HostError("unknown effect '" + run.effect + "' (known: " + knownList() + ")");

    FrameSource source(run.input);
    if (source.isStill() && run.frames > 1) source.setRepeat(run.frames);
    const std::string dataRoot = findDataRoot(run.dataOverride);

    cv::Mat frame;
    if (!source.next(frame)) throw HostError("no frame in " + run.input);
    initLibrary(dataRoot, source.size(), run.order);

    EffectRunner runner(*choice, run.options, run.order);
    const Outcome ready = runner.prepare(frame);
    if (!ready.ok()) throw HostError(choice->name + ": " + ready.message);

    // Opened on the first accepted frame, so a refusal leaves no file behind.
    std::optional<FrameSink> sink;
    const double fps = run.fps > 0 ? run.fps : source.fps();
    const int limit = run.frames > 0 ? run.frames : source.count();
    Progress progress(choice->name, limit, !run.quiet && limit != 1);
    gStopRequested = 0;
    auto previous = std::signal(SIGINT, requestStop);

    int done = 0;
    do {
        const Outcome out = runner.apply(frame);
        if (!out.ok()) {
            std::signal(SIGINT, previous);
            throw HostError(choice->name + ": " + out.message + " at frame " + std::to_string(done));
        }
        if (!sink) sink.emplace(run.output, source.size(), fps);
        sink->write(frame);
        progress.tick();
        ++done;
    } while ((run.frames == 0 || done < run.frames) && !gStopRequested && source.next(frame));
    std::signal(SIGINT, previous);

    sink->finish();
    progress.finish();
    if (runner.littleBackgroundFrames() > 0 && !run.quiet)
        std::fprintf(stderr, "note: in %d of %d frames less than 15%% of the picture was found to be background\n",
                     runner.littleBackgroundFrames(), done);
    return 0;
}

}  // namespace qxcli
