#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <utility>

#include "commands.h"
#include "effect_runner.h"
#include "host_error.h"
#include "library_host.h"
#include "media.h"
#include "preview.h"
#include "progress.h"

namespace qxcli {

namespace {

volatile std::sig_atomic_t gStopRequested = 0;
void requestStop(int) {
    gStopRequested = 1;
}

// Ctrl-C ends the loop at the next frame so the output is closed properly.
// SA_RESETHAND puts the default back: a second Ctrl-C ends at once. A
// program started with SIGINT ignored (a background job of a script) keeps
// ignoring it, as the shell meant.
class StopOnInterrupt {
public:
    StopOnInterrupt() {
        gStopRequested = 0;
        sigaction(SIGINT, nullptr, &previous_);
        if (previous_.sa_handler == SIG_IGN) return;
        struct sigaction action = {};
        action.sa_handler = requestStop;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
    }
    ~StopOnInterrupt() { sigaction(SIGINT, &previous_, nullptr); }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

    bool requested() const { return gStopRequested != 0; }

private:
    struct sigaction previous_ = {};
};

// A loopback camera is watched in real time: frames made from a file or a
// still go out at the frame rate rather than as fast as they are made.
class Pacer {
public:
    using Clock = std::chrono::steady_clock;
    explicit Pacer(double fps) : period_(1.0 / fps), start_(Clock::now()) {}
    void waitFor(int frame) const {
        std::this_thread::sleep_until(start_ +
                                      std::chrono::duration_cast<Clock::duration>(period_ * frame));
    }

private:
    std::chrono::duration<double> period_;
    Clock::time_point start_;
};

// The output must not be any file the run reads: writing it would destroy
// the input before (or while) it is read.
void refuseOverwritingInputs(const RunArgs& run) {
    const std::string written =
        isLoopbackOutput(run.output) ? loopbackDevice(run.output) : run.output;
    const std::pair<const char*, const std::string*> read[] = {
        {"input", &run.input},
        {"--source", &run.options.source},
        {"--reference", &run.options.reference},
        {"--picture", &run.options.picture}};
    for (const auto& [what, name] : read)
        if (!name->empty() && sameFile(written, *name))
            throw HostError("the output " + run.output + " is the " + what + " " + *name +
                            "; writing it would destroy it, so choose another output name");
}

}  // namespace

// A face effect that has drawn nothing for this long says so once.
constexpr double kNoFaceSeconds = 3.0;

void reportNoFace(int frames) {
    std::fprintf(stderr,
                 "\nquexal: no face found in %d frames; for a face further from the camera try "
                 "--min-face 100\n",
                 frames);
}

int runCommand(const RunArgs& run) {
    refuseOverwritingInputs(run);
    const EffectChoice choice = *parseEffect(run.effect);  // checked by the parser

    FrameSource source(run.input);
    if (source.isStill() && run.frames > 1) source.setRepeat(run.frames);
    const std::string dataRoot = findDataRoot(run.dataOverride);

    cv::Mat frame;
    if (!source.next(frame)) throw HostError("no frame in " + run.input);
    initLibrary(dataRoot, source.size(), run.order);

    EffectRunner runner(choice, run.options, run.order);
    const Outcome ready = runner.prepare(frame, source.isCamera());
    if (!ready.ok()) throw HostError(choice.name + ": " + ready.message);

    std::optional<Preview> preview;
    if (run.show) preview.emplace("quexal " + choice.name + " " + run.input);

    // Opened on the first accepted frame, so a refusal leaves no file behind.
    std::optional<FrameSink> sink;
    const double fps = run.fps > 0 ? run.fps : source.fps();
    const int limit = run.frames > 0 ? run.frames : source.count();
    Progress progress(choice.name, limit, !run.quiet && limit != 1);
    StopOnInterrupt interrupt;
    std::optional<Pacer> pacer;
    if (isLoopbackOutput(run.output) && !source.isCamera()) pacer.emplace(fps);

    int done = 0;
    bool closed = false;
    const bool faceEffect = choice.family == Family::Mask || choice.family == Family::Eyes;
    const int noFaceCheckFrame =
        faceEffect ? std::max(1, static_cast<int>(fps * kNoFaceSeconds)) : -1;
    do {
        const Outcome out = runner.apply(frame);
        if (!out.ok())
            throw HostError(choice.name + ": " + out.message + " at frame " + std::to_string(done));
        if (!sink) sink.emplace(run.output, source.size(), fps);
        sink->write(frame);
        if (preview) {
            preview->show(frame);
            closed = preview->closeRequested();
        }
        progress.tick();
        ++done;
        if (done == noFaceCheckFrame && runner.drawnFrames() == 0 && !run.quiet) reportNoFace(done);
        if (pacer) pacer->waitFor(done);
    } while ((run.frames == 0 || done < run.frames) && !interrupt.requested() && !closed &&
             source.next(frame));

    sink->finish();
    progress.finish();
    // A clip shorter than the check still gets the line.
    if (faceEffect && done < noFaceCheckFrame && runner.drawnFrames() == 0 && !run.quiet)
        reportNoFace(done);
    if (runner.littleBackgroundFrames() > 0 && !run.quiet)
        std::fprintf(
            stderr,
            "note: in %d of %d frames less than 15%% of the picture was found to be background\n",
            runner.littleBackgroundFrames(), done);
    // A camera runs until stopped, so Ctrl-C is its normal end; on a file
    // it cut the work short, and the status says so.
    if (interrupt.requested() && !source.isCamera()) {
        if (!run.quiet)
            std::fprintf(stderr, "quexal: interrupted; %s holds the first %d frames\n",
                         run.output.c_str(), done);
        return kExitInterrupted;
    }
    return 0;
}

}  // namespace qxcli
