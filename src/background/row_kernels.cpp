// Fused row loops of the segmentation. The loops are written over the
// interleaved bytes of a row so that the compiler vectorises them; the
// arithmetic is the integer form of the OpenCV steps they replace, which
// the exactness tests compare byte for byte.
#include "background/row_kernels.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "background/segmentation.h"

// The per-pixel grey of interleaved rows vectorises only with byte
// shuffles, which the x86-64 baseline lacks: the row loops are also built
// for AVX2 and the loader picks the variant the processor runs (not under
// the sanitizers, whose start-up runs after such a choice).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUEXAL_ROW_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QUEXAL_ROW_LOOP
#endif

namespace quexal::bkg {
namespace {

constexpr int kChannels = 3;
constexpr int kBlurRadius = kFrameBlurSize / 2;
constexpr int kBlurArea = kFrameBlurSize * kFrameBlurSize;

// round(sum / 25) for every window sum of 25 bytes: (sum + 12) / 25 as a
// multiply and shift, exact over 0..25 * 255.
constexpr uint32_t kDivide25Multiplier = 5243;
constexpr int kDivide25Shift = 17;
static_assert(((25 * 255 + kBlurArea / 2) * kDivide25Multiplier >> kDivide25Shift) == 255);

// Written as the high half of a 16-bit product, which vectorises.
inline uint8_t windowMean(uint16_t sum) {
    const uint32_t n = static_cast<uint16_t>(sum + kBlurArea / 2);
    const auto high = static_cast<uint16_t>((n * kDivide25Multiplier) >> 16);
    return static_cast<uint8_t>(high >> (kDivide25Shift - 16));
}

// Grey of a blue-green-red difference in 15-bit fixed point, as the 8-bit
// colour conversion rounds it: grey > 20 exactly when the weighted sum
// reaches (20 + 1) * 2^15 - 2^14.
constexpr int kBlueWeight = 3735, kGreenWeight = 19235, kRedWeight = 9798;
constexpr int kGreyShift = 15;
constexpr int kDifferenceLimit =
    (static_cast<int>(kDifferenceThreshold) + 1) * (1 << kGreyShift) - (1 << (kGreyShift - 1));

inline bool greyExceeds(const uint8_t* d) {
    return kBlueWeight * d[0] + kGreenWeight * d[1] + kRedWeight * d[2] >= kDifferenceLimit;
}

// Column sums of the five rows around `y` (rows clamped to the image),
// written `kBlurRadius` pixels into `padded`, whose margins then repeat the
// first and last pixel.
QUEXAL_ROW_LOOP void verticalSums(const cv::Mat& src, int y, std::vector<uint16_t>& padded) {
    const int bytes = src.cols * kChannels;
    const uint8_t* rows[kFrameBlurSize];
    for (int k = 0; k < kFrameBlurSize; ++k)
        rows[k] = src.ptr<uint8_t>(std::clamp(y + k - kBlurRadius, 0, src.rows - 1));
    uint16_t* out = padded.data() + kBlurRadius * kChannels;
    for (int i = 0; i < bytes; ++i)
        out[i] =
            static_cast<uint16_t>(rows[0][i] + rows[1][i] + rows[2][i] + rows[3][i] + rows[4][i]);
    for (int p = 0; p < kBlurRadius; ++p)
        for (int c = 0; c < kChannels; ++c) {
            padded[p * kChannels + c] = out[c];
            out[bytes + p * kChannels + c] = out[bytes - kChannels + c];
        }
}

// Means of five neighbouring pixels of the padded column sums.
QUEXAL_ROW_LOOP void horizontalMeans(const uint16_t* __restrict v, int bytes,
                                     uint8_t* __restrict out) {
    for (int i = 0; i < bytes; ++i)
        out[i] =
            windowMean(static_cast<uint16_t>(v[i] + v[i + 3] + v[i + 6] + v[i + 9] + v[i + 12]));
}

}  // namespace

void boxBlur5(const cv::Mat& src, cv::Mat& dst) {
    CV_Assert(src.type() == CV_8UC3 && dst.size() == src.size() && dst.type() == CV_8UC3);
    const int bytes = src.cols * kChannels;
    std::vector<uint16_t> padded(static_cast<std::size_t>(bytes) + 2 * kBlurRadius * kChannels);
    for (int y = 0; y < src.rows; ++y) {
        verticalSums(src, y, padded);
        horizontalMeans(padded.data(), bytes, dst.ptr<uint8_t>(y));
    }
}

namespace {

inline uint8_t absoluteDifference(uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(a > b ? a - b : b - a);
}

// The three per-byte differences of one row, in byte arithmetic.
QUEXAL_ROW_LOOP void rowDifferences(const uint8_t* __restrict f, const uint8_t* __restrict r1,
                                    const uint8_t* __restrict r2, const uint8_t* __restrict r3,
                                    int bytes, uint8_t* __restrict d1, uint8_t* __restrict d2,
                                    uint8_t* __restrict d3) {
    constexpr uint8_t up = kSecondComparisonShift, down = -kThirdComparisonShift;
    for (int i = 0; i < bytes; ++i) {
        const uint8_t f1 = f[i];
        const uint8_t f2 = f1 > 255 - up ? 255 : static_cast<uint8_t>(f1 + up);
        const uint8_t f3 = f2 < down ? 0 : static_cast<uint8_t>(f2 - down);
        d1[i] = absoluteDifference(r1[i], f1);
        d2[i] = absoluteDifference(r2[i], f2);
        d3[i] = absoluteDifference(r3[i], f3);
    }
}

// 255 where the grey of any of the three differences exceeds the threshold.
QUEXAL_ROW_LOOP void greyUnion(const uint8_t* __restrict d1, const uint8_t* __restrict d2,
                               const uint8_t* __restrict d3, int pixels, uint8_t* __restrict out) {
    for (int x = 0; x < pixels; ++x) {
        const int i = x * kChannels;
        const bool any = greyExceeds(d1 + i) | greyExceeds(d2 + i) | greyExceeds(d3 + i);
        out[x] = static_cast<uint8_t>(-static_cast<int>(any));
    }
}

// Whether no byte of the three differences exceeds the threshold. The grey
// is a weighted mean, never above the largest channel, so such pixels are
// all below it.
QUEXAL_ROW_LOOP bool quiet(const uint8_t* __restrict d1, const uint8_t* __restrict d2,
                           const uint8_t* __restrict d3, int bytes) {
    uint8_t largest = 0;
    for (int i = 0; i < bytes; ++i)
        largest = std::max(largest, std::max(d1[i], std::max(d2[i], d3[i])));
    return largest <= kDifferenceThreshold;
}

// The union of one row, blocks of quiet pixels answered without their grey.
void rowUnion(const uint8_t* d1, const uint8_t* d2, const uint8_t* d3, int pixels, uint8_t* out) {
    constexpr int kBlock = 32;
    for (int x = 0; x < pixels; x += kBlock) {
        const int count = std::min(kBlock, pixels - x);
        const int i = x * kChannels;
        if (quiet(d1 + i, d2 + i, d3 + i, count * kChannels))
            std::memset(out + x, 0, count);
        else
            greyUnion(d1 + i, d2 + i, d3 + i, count, out + x);
    }
}

}  // namespace

void differenceUnion(const cv::Mat& blurred, const cv::Mat& plain, const cv::Mat& bright,
                     const cv::Mat& dark, cv::Mat& foreground) {
    const int bytes = blurred.cols * kChannels;
    std::vector<uint8_t> differences(static_cast<std::size_t>(bytes) * 3);
    uint8_t* d1 = differences.data();
    uint8_t* d2 = d1 + bytes;
    uint8_t* d3 = d2 + bytes;
    for (int y = 0; y < blurred.rows; ++y) {
        rowDifferences(blurred.ptr<uint8_t>(y), plain.ptr<uint8_t>(y), bright.ptr<uint8_t>(y),
                       dark.ptr<uint8_t>(y), bytes, d1, d2, d3);
        rowUnion(d1, d2, d3, blurred.cols, foreground.ptr<uint8_t>(y));
    }
}

}  // namespace quexal::bkg
