#include "mask/face_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "core/numeric.h"

namespace quexal {
namespace {

// Running sums of one group of face windows.
struct Group {
    int32_t sumLeft = 0, sumTop = 0, sumRight = 0, sumBottom = 0;
    int32_t members = 0;

    bool reaches(const Box& b) const {
        return std::abs(sumLeft / members - b.left) <= kGroupReach &&
               std::abs(sumTop / members - b.top) <= kGroupReach;
    }
    void add(const Box& b) {
        sumLeft += b.left;
        sumTop += b.top;
        sumRight += b.right;
        sumBottom += b.bottom;
        ++members;
    }
    Box mean() const {
        return {sumLeft / members, sumTop / members, sumRight / members, sumBottom / members};
    }
};

bool beyondBound(int32_t v) {
    return v > kCandidateBound || v < -kCandidateBound;
}

}  // namespace

void sortInScanOrder(std::vector<cv::Rect>& windows) {
    std::sort(windows.begin(), windows.end(), [](const cv::Rect& a, const cv::Rect& b) {
        return std::tie(a.width, a.height, a.y, a.x) < std::tie(b.width, b.height, b.y, b.x);
    });
}

int32_t scaleEdge(int32_t value, float scale) {
    return truncToInt(static_cast<double>(value) * static_cast<double>(scale));
}

std::optional<Box> groupFaceWindows(std::span<const cv::Rect> windows, float scale) {
    if (windows.empty()) return std::nullopt;

    // At most one group per window; the best is replaced only by a strictly
    // larger count, so ties keep the group that got there first.
    std::vector<Group> groups;
    groups.reserve(windows.size());
    std::size_t best = 0;
    int32_t bestMembers = 0;
    for (const cv::Rect& w : windows) {
        if (beyondBound(w.x) || beyondBound(w.y) || beyondBound(w.width) || beyondBound(w.height))
            return std::nullopt;
        const Box b{scaleEdge(w.x, scale), scaleEdge(w.y, scale), scaleEdge(w.x + w.width, scale),
                    scaleEdge(w.y + w.height, scale)};
        auto match = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.reaches(b); });
        if (match == groups.end()) match = groups.insert(groups.end(), Group{});
        match->add(b);
        if (match->members > bestMembers) {
            best = static_cast<std::size_t>(match - groups.begin());
            bestMembers = match->members;
        }
    }
    return groups[best].mean();
}

FaceBand faceBandOf(const Box& face) {
    FaceBand band;
    band.faceLeft = face.left;
    band.eyeBandTop = face.top + 30;
    band.faceRight = face.right;
    band.eyeBandBottom = band.eyeBandTop + truncToInt((face.bottom - band.eyeBandTop) / 2.2);
    band.faceX = (face.left + face.right) / 2;
    band.faceY = (face.top + face.bottom) / 2 + 10;
    return band;
}

EyeRegions eyeRegionsOf(const FaceBand& band) {
    const int32_t halfW = (band.faceRight - band.faceLeft) / 2;
    EyeRegions r;
    r.eyeTop = band.eyeBandTop - 5;
    const int32_t eyeH = band.eyeBandBottom - r.eyeTop;
    const int32_t leftX = band.faceLeft + 10;
    const int32_t rightX = band.faceLeft + halfW + 5;
    r.imageLeft = {leftX, r.eyeTop, (band.faceRight - halfW - 5) - leftX, eyeH};
    r.imageRight = {rightX, r.eyeTop, (band.faceRight - 10) - rightX, eyeH};
    return r;
}

std::optional<EyeMean> meanEyeWindow(std::span<const cv::Rect> windows, bool checkBounds) {
    if (windows.empty()) return std::nullopt;
    int32_t sumLeft = 0, sumTop = 0, sumRight = 0, sumBottom = 0;
    for (const cv::Rect& w : windows) {
        const int32_t l = w.x / 2, t = w.y / 2, r = (w.x + w.width) / 2, b = (w.y + w.height) / 2;
        // Six limits only: the bottom has no upper and the right no lower one.
        if (checkBounds && (l > kCandidateBound || t > kCandidateBound || r > kCandidateBound ||
                            l < -kCandidateBound || t < -kCandidateBound || b < -kCandidateBound))
            return std::nullopt;
        sumLeft += l;
        sumTop += t;
        sumRight += r;
        sumBottom += b;
    }
    const auto n = static_cast<int32_t>(windows.size());
    return EyeMean{sumLeft / n, sumTop / n, sumRight / n, sumBottom / n};
}

float angleBetween(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
    if (ay == by) return 0.0f;
    const float rise = static_cast<float>(by - ay);
    const float run = static_cast<float>(std::abs(bx - ax));
    return static_cast<float>(std::atan2(static_cast<double>(rise), static_cast<double>(run)));
}

}  // namespace quexal
