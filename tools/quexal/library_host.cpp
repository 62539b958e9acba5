#include "library_host.h"

#include <unistd.h>

#include <array>
#include <memory>
#include <system_error>

#include <opencv2/core.hpp>

#include "host_error.h"
#include "quexal/quexal.h"

namespace qxcli {

namespace fs = std::filesystem;

#ifndef QUEXAL_BUILD_DIR
#define QUEXAL_BUILD_DIR ""
#endif
#ifndef QUEXAL_SOURCE_DATA_DIR
#define QUEXAL_SOURCE_DATA_DIR ""
#endif

const char* rowOrderName(RowOrder order) {
    return order == RowOrder::TopDown ? "top-down" : "bottom-up";
}

fs::path executableDir() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
}

// The source tree is consulted only by the program the build left in the
// build folder; an installed copy keeps to its own share/quexal, even while
// the build folder it came from still exists.
static bool isBuildTreeProgram(const fs::path& exe) {
    std::error_code ec;
    return !exe.empty() && fs::equivalent(exe, fs::path(QUEXAL_BUILD_DIR), ec);
}

static bool holdsCascades(const fs::path& root) {
    std::error_code ec;
    return fs::is_regular_file(root / "QXdata" / "haarcascade_frontalface_alt.xml", ec) &&
           fs::is_regular_file(root / "QXdata" / "eye_8.xml", ec);
}

std::string findDataRoot(const std::string& override) {
    if (!override.empty()) {
        if (!holdsCascades(override))
            throw HostError("data folder " + override + " has no QXdata/ with both cascades");
        return override;
    }
    // The build folder holds QXdata beside the program, an installation
    // under share/quexal.
    const fs::path exe = executableDir();
    const std::array<fs::path, 2> candidates = {exe, exe / ".." / "share" / "quexal"};
    for (const fs::path& c : candidates)
        if (!c.empty() && holdsCascades(c)) return c.lexically_normal().string();
    throw HostError("no QXdata folder found (build the project, or pass --data DIR)");
}

fs::path findSampleRoot() {
    const fs::path exe = executableDir();
    const std::array<fs::path, 2> candidates = {
        isBuildTreeProgram(exe) ? fs::path(QUEXAL_SOURCE_DATA_DIR) : fs::path(),
        exe / ".." / "share" / "quexal"};
    std::error_code ec;
    for (const fs::path& c : candidates)
        if (!c.empty() && fs::is_directory(c / "sample", ec)) return c.lexically_normal();
    throw HostError("no sample folder found (data/sample in the source tree)");
}

QxSession* hostSession() {
    static const std::unique_ptr<QxSession, void (*)(QxSession*)> session(qx_session_create(),
                                                                          qx_session_destroy);
    if (!session) throw HostError("out of memory for a library session");
    return session.get();
}

void initLibrary(const std::string& dataRoot, cv::Size size, RowOrder order) {
    const int32_t height = order == RowOrder::TopDown ? -size.height : size.height;
    if (qx_init(hostSession(), dataRoot.c_str(), size.width, height, 0, 0) != QX_DONE)
        throw HostError("qx_init refused " + std::to_string(size.width) + "x" +
                        std::to_string(size.height) + " with data folder " + dataRoot);
}

cv::Mat toHostOrder(const cv::Mat& image, RowOrder order) {
    cv::Mat out;
    if (order == RowOrder::TopDown)
        out = image.clone();
    else
        cv::flip(image, out, 0);
    return out;
}

}  // namespace qxcli
