// quexal: the command-line host of the Quexal effects library.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "commands.h"
#include "effect_choice.h"
#include "host_error.h"
#include "mask_pictures.h"

namespace qxcli {

namespace {

constexpr const char* kUsage = R"(usage:
  quexal run EFFECT INPUT OUTPUT [options]
  quexal demo --out DIR [--data DIR]
  quexal make-masks DIR
  quexal help

EFFECT   colour:negative|grey|glow|softgrey|sepia, lens:1 .. lens:7, fire,
         mask, eyes:pixelate|eyes:blur, background
INPUT    a picture, a video file or a camera (/dev/video0)
OUTPUT   a picture (.png, .jpg; the last frame, or out_%03d.png for every
         frame) or a video file (.avi, .mp4)

options:
  --picture FILE.png    mask picture with alpha (mask; optional for eyes)
  --kind N              mask kind: 1, 2, 8 take 200x190, 3, 4 take 100x90
  --source FILE         background: replacement picture or video file
  --reference IMG       background: the empty scene (default: first frame)
  --halo 0xBBGGRR       background: draw a halo of this colour
  --cut-line N          background: barrier line at N % of the height
  --frames N            stop after N frames (a still picture is repeated)
  --fps F               frame rate of the output video
  --top-down            hand frames to the library top row first
                        (default: bottom row first)
  --data DIR            folder holding QXdata/ (default: found by itself)
  --quiet               no progress output
)";

int makeMasks(const Args& args) {
    if (args.size() != 1) throw HostError("usage: quexal make-masks DIR");
    for (const auto& path : writeMaskPictures(args[0])) std::printf("%s\n", path.string().c_str());
    return 0;
}

int dispatch(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "run") return runCommand(args);
    if (command == "demo") return demoCommand(args);
    if (command == "make-masks") return makeMasks(args);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    throw HostError("unknown command '" + command + "' (run, demo, make-masks, help)");
}

}  // namespace

}  // namespace qxcli

int main(int argc, char** argv) {
    try {
        return qxcli::dispatch(argc, argv);
    } catch (const qxcli::HostError& e) {
        std::fprintf(stderr, "quexal: %s\n", e.what());
    } catch (const std::exception& e) {
        // OpenCV's messages span several lines; keep the error on one.
        std::string text = e.what();
        for (char& ch : text)
            if (ch == '\n' || ch == '\r') ch = ' ';
        std::fprintf(stderr, "quexal: unexpected failure: %s\n", text.c_str());
    }
    return 1;
}
