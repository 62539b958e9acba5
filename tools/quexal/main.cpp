// quexal: the command-line host of the Quexal effects library.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "command_line.h"
#include "commands.h"
#include "host_error.h"
#include "mask_pictures.h"

namespace qxcli {

namespace {

// Exit status of a command line that does not parse.
constexpr int kExitUsage = 2;

// OpenCV and the FFmpeg inside its video I/O report to stderr on their own;
// a user is better served by the host's one line. FFmpeg's level is read
// from the environment when OpenCV first opens a video, so it is set before
// anything is opened (an explicit setting by the user wins).
void quietLibraryLogging() {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    constexpr const char* kFfmpegQuiet = "-8";  // AV_LOG_QUIET
    setenv("OPENCV_FFMPEG_LOGLEVEL", kFfmpegQuiet, /*overwrite=*/0);
}

int makeMasks(const std::string& dir) {
    for (const auto& path : writeMaskPictures(dir)) std::printf("%s\n", path.string().c_str());
    return 0;
}

// CLI11's messages can hold a line break; the host's errors are one line.
std::string oneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\n' || ch == '\r') ch = ' ';
    return text;
}

int dispatch(int argc, char** argv) {
    CLI::App app;
    CommandLine line;
    describeCommandLine(app, line);
    if (argc < 2) {
        std::fputs(app.help().c_str(), stderr);
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        const std::string command =
            app.get_subcommands().empty() ? "" : " " + app.get_subcommands()[0]->get_name();
        std::fprintf(stderr, "quexal: %s (see quexal%s --help)\n", oneLine(e.what()).c_str(),
                     command.c_str());
        return kExitUsage;
    }
    switch (line.command) {
        case Command::Run: finishRunArgs(line); return runCommand(line.run);
        case Command::Demo: return demoCommand(line.demo);
        case Command::MakeMasks: return makeMasks(line.masksDir);
        case Command::None: break;
    }
    return kExitUsage;
}

}  // namespace

}  // namespace qxcli

int main(int argc, char** argv) {
    qxcli::quietLibraryLogging();
    try {
        return qxcli::dispatch(argc, argv);
    } catch (const qxcli::HostError& e) {
        std::fprintf(stderr, "quexal: %s\n", qxcli::oneLine(e.what()).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quexal: unexpected failure: %s\n", qxcli::oneLine(e.what()).c_str());
    }
    return 1;
}
