#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace qxcli {

namespace {
constexpr int kBarWidth = 30;
constexpr const char* kHashes = "##############################";
constexpr const char* kDots = "..............................";
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
}  // namespace

Progress::Progress(std::string label, int total, bool enabled)
    : label_(std::move(label)),
      total_(total),
      enabled_(enabled),
      terminal_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

double Progress::fps() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return seconds > 0 ? frames_ / seconds : 0.0;
}

void Progress::tick() {
    ++frames_;
    const auto now = std::chrono::steady_clock::now();
    if (enabled_ && terminal_ && now - lastDraw_ >= kRedrawEvery) {
        lastDraw_ = now;
        draw(false);
    }
}

void Progress::finish() {
    if (finished_) return;
    finished_ = true;
    if (enabled_ && frames_ > 0) draw(true);
}

void Progress::draw(bool final) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (!terminal_) {
        std::fprintf(stderr, "%s: %d frames in %.1f s (%.1f fps)\n", label_.c_str(), frames_,
                     seconds, fps());
        return;
    }
    char bar[128];
    if (total_ > 0) {
        const int filled = std::min(kBarWidth, frames_ * kBarWidth / total_);
        std::snprintf(bar, sizeof bar, "[%.*s%.*s] %d/%d", filled, kHashes, kBarWidth - filled,
                      kDots, frames_, total_);
    } else {
        std::snprintf(bar, sizeof bar, "%d frames", frames_);
    }
    std::fprintf(stderr, "\r\033[K%s %s  %.1f fps%s", label_.c_str(), bar, fps(),
                 final ? "\n" : "");
    std::fflush(stderr);
}

}  // namespace qxcli
