// Exposure tracking between the reference and the frame; the method is
// described in exposure.h.
#include "background/exposure.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace quexal::bkg {
namespace {

struct Sample {
    uint8_t reference, frame;
};
using ChannelSamples = std::array<std::vector<Sample>, 3>;

bool unclipped(uint8_t v) {
    return v >= kClippedLevels && v <= 255 - kClippedLevels;
}

// Grid samples, per channel, where the matte allows (every one when
// `matte` is empty).
ChannelSamples collectSamples(const cv::Mat& frame, const cv::Mat& reference, const cv::Mat& matte,
                              uint8_t background) {
    const int step = std::max(
        1, static_cast<int>(std::lround(std::sqrt(frame.total() / double(kExposureGridSamples)))));
    ChannelSamples samples;
    for (std::vector<Sample>& s : samples)
        s.reserve((frame.rows / step + 1) * static_cast<std::size_t>(frame.cols / step + 1));
    for (int y = step / 2; y < frame.rows; y += step) {
        const uint8_t* f = frame.ptr<uint8_t>(y);
        const uint8_t* r = reference.ptr<uint8_t>(y);
        const uint8_t* m = matte.empty() ? nullptr : matte.ptr<uint8_t>(y);
        for (int x = step / 2; x < frame.cols; x += step) {
            if (m != nullptr && m[x] != background) continue;
            for (int c = 0; c < 3; ++c) {
                const uint8_t fv = f[3 * x + c], rv = r[3 * x + c];
                if (unclipped(fv) && unclipped(rv)) samples[c].push_back({rv, fv});
            }
        }
    }
    return samples;
}

// Median of frame - reference: the offset that a person covering less than
// half of the samples cannot move.
double medianDifference(const std::vector<Sample>& samples) {
    std::array<int, 511> histogram{};
    for (const Sample& s : samples) ++histogram[s.frame - s.reference + 255];
    const std::size_t half = samples.size() / 2;
    std::size_t seen = 0;
    for (int d = 0; d < 511; ++d) {
        seen += histogram[d];
        if (seen > half) return d - 255.0;
    }
    return 0.0;
}

// Least squares of frame on reference over the samples within `band` of
// `last`, with the gain pulled towards 1 by the ridge term.
ChannelExposure refit(const std::vector<Sample>& samples, const ChannelExposure& last,
                      double band) {
    double n = 0, sr = 0, sf = 0, srr = 0, srf = 0;
    for (const Sample& s : samples) {
        const double r = s.reference, f = s.frame;
        if (std::abs(f - (last.gain * r + last.offset)) > band) continue;
        n += 1, sr += r, sf += f, srr += r * r, srf += r * f;
    }
    if (n < 1) return last;
    const double meanR = sr / n, meanF = sf / n;
    const double varR = srr - n * meanR * meanR, covRF = srf - n * meanR * meanF;
    const double prior = n * kGainPriorLevels * kGainPriorLevels;
    ChannelExposure fit;
    fit.gain = std::clamp((covRF + prior) / (varR + prior), kMinGain, kMaxGain);
    fit.offset = std::clamp(meanF - fit.gain * meanR, -kMaxOffset, kMaxOffset);
    return fit;
}

ChannelExposure fitChannel(const std::vector<Sample>& samples) {
    if (samples.empty()) return {};
    ChannelExposure fit{1.0, medianDifference(samples)};
    fit = refit(samples, fit, kFirstInlierBand);
    return refit(samples, fit, kSecondInlierBand);
}

double stepTowards(double from, double to, double cap) {
    return from + std::clamp(kSmoothingRate * (to - from), -cap, cap);
}

uint8_t saturate(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// The correction in 8-bit fixed point, the same for the table and the
// references: level v becomes clamp((v * gain + offset) >> 8), the
// offset carrying the rounding.
constexpr int kFixedShift = 8;
struct FixedExposure {
    int32_t gain, offset;
};
FixedExposure fixedPoint(const ChannelExposure& e) {
    return {static_cast<int32_t>(std::lround(e.gain * (1 << kFixedShift))),
            static_cast<int32_t>(std::lround(e.offset * (1 << kFixedShift))) +
                (1 << (kFixedShift - 1))};
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUEXAL_EXPOSURE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QUEXAL_EXPOSURE_LOOP
#endif

// One row of the three corrected references; `gain` and `offset` repeat
// the channels' fixed-point values along the row.
QUEXAL_EXPOSURE_LOOP void correctRow(const uint8_t* __restrict r, const int32_t* __restrict gain,
                                     const int32_t* __restrict offset, int bytes, int shift,
                                     uint8_t* __restrict c, uint8_t* __restrict b,
                                     uint8_t* __restrict d) {
    for (int i = 0; i < bytes; ++i) {
        const int v = std::clamp((r[i] * gain[i] + offset[i]) >> kFixedShift, 0, 255);
        c[i] = static_cast<uint8_t>(v);
        b[i] = static_cast<uint8_t>(std::min(v + shift, 255));
        d[i] = static_cast<uint8_t>(std::max(v - shift, 0));
    }
}

// Rows [first, first + count) of the three corrected references.
void buildCorrected(const cv::Mat& reference, const Exposure& exposure, int shift, int first,
                    int count, cv::Mat& corrected, cv::Mat& bright, cv::Mat& dark) {
    const int bytes = reference.cols * 3;
    std::vector<int32_t> gain(bytes), offset(bytes);
    for (int i = 0; i < bytes; ++i) {
        const FixedExposure f = fixedPoint(exposure[i % 3]);
        gain[i] = f.gain, offset[i] = f.offset;
    }
    for (int y = first; y < first + count; ++y)
        correctRow(reference.ptr<uint8_t>(y), gain.data(), offset.data(), bytes, shift,
                   corrected.ptr<uint8_t>(y), bright.ptr<uint8_t>(y), dark.ptr<uint8_t>(y));
}

int largestChange(const ExposureTable& a, const ExposureTable& b) {
    int largest = 0;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) largest = std::max(largest, std::abs(a[c][v] - b[c][v]));
    return largest;
}

}  // namespace

Exposure fitExposure(const cv::Mat& frame, const cv::Mat& reference, const cv::Mat& matte,
                     uint8_t background) {
    ChannelSamples samples = collectSamples(frame, reference, matte, background);
    if (!matte.empty() && samples[1].size() < kMinExposureSamples)
        samples = collectSamples(frame, reference, cv::Mat(), background);
    Exposure exposure;
    for (int c = 0; c < 3; ++c) exposure[c] = fitChannel(samples[c]);
    return exposure;
}

Exposure smoothExposure(const Exposure& current, const Exposure& target) {
    Exposure next;
    for (int c = 0; c < 3; ++c) {
        next[c].gain = stepTowards(current[c].gain, target[c].gain, kMaxGainStep);
        next[c].offset = stepTowards(current[c].offset, target[c].offset, kMaxOffsetStep);
    }
    return next;
}

ExposureTable exposureTable(const Exposure& exposure) {
    ExposureTable table;
    for (int c = 0; c < 3; ++c) {
        const FixedExposure f = fixedPoint(exposure[c]);
        for (int v = 0; v < 256; ++v)
            table[c][v] = saturate((v * f.gain + f.offset) >> kFixedShift);
    }
    return table;
}

void ExposureTracker::reset() {
    estimate_ = {};
    pendingRows_ = 0;
    nextRow_ = 0;
    tracking_ = false;
    valid_ = false;
}

void ExposureTracker::update(const cv::Mat& frame, const cv::Mat& reference, const cv::Mat& matte,
                             uint8_t background) {
    const Exposure fit = fitExposure(frame, reference, matte, background);
    estimate_ = tracking_ ? smoothExposure(estimate_, fit) : fit;
    tracking_ = true;
}

// A moved estimate is brought into the references a band of rows a frame,
// so that no frame pays for a whole rebuild; the bands differ from each
// other by less than kRebuildLevels while it goes on.
bool ExposureTracker::prepare(const cv::Mat& reference, int shift) {
    const ExposureTable table = exposureTable(estimate_);
    if (!valid_) {
        try {
            for (cv::Mat* m : {&corrected, &bright, &dark}) m->create(reference.size(), CV_8UC3);
        } catch (...) {
            return false;
        }
        buildCorrected(reference, estimate_, shift, 0, reference.rows, corrected, bright, dark);
        built_ = table;
        valid_ = true;
        pendingRows_ = 0;
        return true;
    }
    if (largestChange(table, built_) >= kRebuildLevels) {
        built_ = table;
        pendingRows_ = reference.rows;
    }
    if (pendingRows_ > 0) {
        const int band = (reference.rows + kRebuildFrames - 1) / kRebuildFrames;
        const int count = std::min({band, pendingRows_, reference.rows - nextRow_});
        buildCorrected(reference, estimate_, shift, nextRow_, count, corrected, bright, dark);
        pendingRows_ -= count;
        nextRow_ = (nextRow_ + count) % reference.rows;
    }
    return true;
}

}  // namespace quexal::bkg
