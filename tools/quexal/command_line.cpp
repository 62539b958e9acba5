#include "command_line.h"

#include <exception>

#include <CLI/CLI.hpp>

#include "host_error.h"

#ifndef QUEXAL_VERSION
#define QUEXAL_VERSION "unknown"
#endif

namespace qxcli {

namespace {

constexpr int kHighestColour = 0xFFFFFF;
constexpr int kMaxCutLine = 100;
constexpr int kHelpColumn = 22;

std::string knownList() {
    std::string all;
    for (const std::string& n : knownEffectNames()) all += (all.empty() ? "" : ", ") + n;
    return all;
}

// Validators without a description, so the help shows the value's own
// name (EFFECT, 0xBBGGRR) rather than a type.
const CLI::Validator kEffectName(
    [](const std::string& text) {
        return parseEffect(text) ? std::string()
                                 : "unknown effect '" + text + "' (known: " + knownList() + ")";
    },
    "");

const CLI::Validator kColour(
    [](const std::string& text) {
        try {
            parseColour("--halo", text);
        } catch (const HostError&) {
            return "expected a colour 0xBBGGRR, not '" + text + "'";
        }
        return std::string();
    },
    "");

constexpr const char* kRunFooter =
    R"(EFFECT: colour:negative, colour:grey, colour:glow, colour:softgrey, colour:sepia,
  lens:1 .. lens:7 or by name lens:swirl, mirror, funnel, bulge, magnify,
  stretch, pinch; fire, mask, eyes:pixelate, eyes:blur, background.
INPUT: a picture, a video file or a camera (/dev/video0).
OUTPUT: a picture (.png, .jpg: the last frame; out_%03d.png: every frame), a
  video file (.avi as MJPG, .mp4 as MPEG-4) or a loopback camera
  (v4l2:/dev/video10). It may not be a file the run reads.
Ctrl-C ends a camera run normally; on a file it closes the output and exits
with status 130.)";

void describeRun(CLI::App& app, CommandLine& line) {
    CLI::App* run =
        app.add_subcommand("run", "apply one effect to a picture, a video file or a camera");
    run->callback([&line] { line.command = Command::Run; });
    run->footer(kRunFooter);
    RunArgs& r = line.run;
    run->add_option("EFFECT", r.effect, "the effect and its mode (below)")
        ->required()
        ->type_name("")
        ->check(kEffectName);
    run->add_option("INPUT", r.input, "what to read")->required()->type_name("");
    run->add_option("OUTPUT", r.output, "what to write")->required()->type_name("");
    run->add_option("--picture", r.options.picture,
                    "mask: the picture (PNG with alpha; without, opaque)")
        ->type_name("FILE");
    run->add_option("--kind", r.options.kind,
                    "mask: 1 hat, 2 or 8 glasses (200x190), 3 nose, 4 eyes (100x90)")
        ->type_name("N")
        ->check(CLI::IsMember({1, 2, 3, 4, 8}).description(""));
    run->add_option("--source", r.options.source, "background: replacement picture or video")
        ->type_name("FILE");
    run->add_option("--reference", r.options.reference,
                    "background: the empty scene (default: 1st frame)")
        ->type_name("FILE");
    run->add_option("--halo", line.halo, "background: draw a halo of this colour")
        ->type_name("0xBBGGRR")
        ->check(kColour);
    run->add_option("--cut-line", r.options.cutLine,
                    "background: barrier line at N % of the height")
        ->type_name("N")
        ->check(CLI::Range(0, kMaxCutLine).description(""));
    run->add_flag("--exposure-compensation", r.options.exposureCompensation,
                  "background: follow the camera's own exposure changes");
    run->add_option("--min-face", r.options.minFacePermille,
                    "mask, eyes: smallest face in 1/1000 of the width (e.g. 100)")
        ->type_name("PERMILLE")
        ->check(CLI::Range(10, 1000).description(""));
    run->add_flag_callback(
        "--async-detect", [&r] { r.options.asyncDetect = 1; },
        "mask, eyes: find faces beside the stream (default for a camera)");
    run->add_flag_callback(
        "--no-async-detect", [&r] { r.options.asyncDetect = 0; },
        "... every frame waits for its detection (default for a file)");
    run->add_option("--frames", r.frames, "stop after N frames (a still is repeated)")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber.description(""));
    run->add_option("--fps", r.fps, "frame rate of the output video (default: the input's)")
        ->type_name("F")
        ->check(CLI::PositiveNumber.description(""));
    run->add_flag_callback(
        "--top-down", [&r] { r.order = RowOrder::TopDown; },
        "hand frames to the library top row first");
    run->add_flag_callback(
        "--bottom-up", [&r] { r.order = RowOrder::BottomUp; },
        "... bottom row first (the default)");
    run->add_flag("--show", r.show, "show the output in a window while it runs");
    run->add_option("--data", r.dataOverride, "folder holding QXdata/ (default: found)")
        ->type_name("DIR");
    run->add_flag("--quiet", r.quiet, "no progress output");
}

void describeDemo(CLI::App& app, CommandLine& line) {
    CLI::App* demo = app.add_subcommand(
        "demo", "every effect and mode on a synthesised clip, with a contact sheet");
    demo->callback([&line] { line.command = Command::Demo; });
    demo->add_option("--out", line.demo.outDir, "folder for the videos, stills and contact sheet")
        ->required()
        ->type_name("DIR");
    demo->add_option("--data", line.demo.dataOverride, "folder holding QXdata/ (default: found)")
        ->type_name("DIR");
}

void describeMakeMasks(CLI::App& app, CommandLine& line) {
    CLI::App* masks =
        app.add_subcommand("make-masks", "draw the sample mask pictures as PNG files");
    masks->callback([&line] { line.command = Command::MakeMasks; });
    masks->add_option("DIR", line.masksDir, "folder to write them into (created if needed)")
        ->required()
        ->type_name("");
}

}  // namespace

uint32_t parseColour(const std::string& option, const std::string& text) {
    size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || text[0] == '-' || value > kHighestColour)
        throw HostError(option + " takes a colour 0xBBGGRR, not '" + text + "'");
    return static_cast<uint32_t>(value);
}

std::string versionText() {
    return std::string("quexal ") + QUEXAL_VERSION;
}

void describeCommandLine(CLI::App& app, CommandLine& line) {
    app.name("quexal");
    app.description("Quexal: real-time video effects on pictures, video files and cameras.");
    app.set_version_flag("--version", versionText());
    app.require_subcommand(1);
    app.get_formatter()->column_width(kHelpColumn);
    describeRun(app, line);
    describeDemo(app, line);
    describeMakeMasks(app, line);
}

void finishRunArgs(CommandLine& line) {
    RunArgs& r = line.run;
    if (!line.halo.empty()) {
        r.options.halo = true;
        r.options.haloColor = parseColour("--halo", line.halo);
    }
    const auto choice = parseEffect(r.effect);
    if (choice && choice->family == Family::Mask) {
        if (r.options.picture.empty())
            throw HostError("mask needs --picture FILE (data/masks/ holds samples) and --kind N");
        if (r.options.kind == 0)
            throw HostError(
                "mask needs --kind: 1 for a hat, 2 or 8 for glasses (200x190 pictures), "
                "3 for a nose, 4 for an eye band (100x90 pictures)");
    }
    if (choice && choice->family == Family::Background && r.options.source.empty())
        throw HostError("background needs --source FILE (a picture or a video file)");
}

}  // namespace qxcli
