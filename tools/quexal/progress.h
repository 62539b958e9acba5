#pragma once

#include <chrono>
#include <string>

namespace qxcli {

// Progress on stderr: a bar with frames per second, redrawn in place, when
// stderr is a terminal; otherwise one plain line when the work is done.
class Progress {
public:
    // total 0 when the frame count is not known (cameras).
    Progress(std::string label, int total, bool enabled = true);
    void tick();
    void finish();
    int frames() const { return frames_; }
    double fps() const;

private:
    void draw(bool final);

    std::string label_;
    int total_;
    bool enabled_;
    bool terminal_;
    int frames_ = 0;
    bool finished_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace qxcli
