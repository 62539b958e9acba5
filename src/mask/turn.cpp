#include "mask/turn.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/cpu_features.h"
#include "core/side_by_side.h"

namespace quexal {
namespace {

// warpAffine's fixed point: coordinates carry kCoordBits fraction bits
// while they are summed, then kSubpixelBits of them pick one of kSubpixels
// positions between two pixels for the bilinear weights.
constexpr int kCoordBits = 10;
constexpr int kSubpixelBits = 5;
constexpr int kSubpixels = 1 << kSubpixelBits;
constexpr double kCoordScale = 1 << kCoordBits;
constexpr int kRoundDelta = (1 << kCoordBits) / kSubpixels / 2;
// warpAffine's weights are 32 times the product of the two sub-pixel
// distances and its sum is shifted by 15; summing the products alone and
// shifting by 10 gives the same bytes, and the products fit 16-bit lanes
// where the full weight (up to 32768) would not.
constexpr int kProductBits = 2 * kSubpixelBits;

// Where destination pixels sample the canvas: warpAffine inverts the matrix
// it is given, in this order.
struct InverseMap {
    double m[6];
    explicit InverseMap(const cv::Matx23f& t) {
        for (int i = 0; i < 6; ++i) m[i] = static_cast<double>(t.val[i]);
        double d = m[0] * m[4] - m[1] * m[3];
        d = d != 0 ? 1. / d : 0;
        const double a11 = m[4] * d, a22 = m[0] * d;
        m[0] = a11;
        m[1] *= -d;
        m[3] *= -d;
        m[4] = a22;
        const double b1 = -m[0] * m[2] - m[1] * m[5];
        const double b2 = -m[3] * m[2] - m[4] * m[5];
        m[2] = b1;
        m[5] = b2;
    }
};

// The columns [first, last) of a row whose samples may touch the picture:
// where the mapped point (u0 + du x, v0 + dv x) lies within [lo, hi] on
// both axes, from the exact line equations with pixels to spare.
void reachableColumns(double du, double u0, double dv, double v0, cv::Point2d lo, cv::Point2d hi,
                      int side, int& first, int& last) {
    double from = 0, to = side;
    const auto clip = [&](double d, double c, double low, double high) {
        if (std::fabs(d) < 1e-12) {
            if (c < low || c > high) to = from - 1;
            return;
        }
        double a = (low - c) / d, b = (high - c) / d;
        if (a > b) std::swap(a, b);
        from = std::max(from, a);
        to = std::min(to, b);
    };
    clip(du, u0, lo.x, hi.x);
    clip(dv, v0, lo.y, hi.y);
    if (!(to >= from)) {
        first = last = 0;
        return;
    }
    first = std::clamp(static_cast<int>(std::floor(from)) - 2, 0, side);
    last = std::clamp(static_cast<int>(std::ceil(to)) + 3, first, side);
}

// Bilinear weights of the four neighbours in units of 1 / kSubpixels^2.
struct Weights {
    int topLeft, topRight, bottomLeft, bottomRight;
};

inline uint8_t weighOne(int a, int b, int c, int e, const Weights& w) {
    const int sum = a * w.topLeft + b * w.topRight + c * w.bottomLeft + e * w.bottomRight;
    return static_cast<uint8_t>(std::min(255, (sum + (1 << (kProductBits - 1))) >> kProductBits));
}

// All four neighbours on the picture: `top` and `bottom` point at the
// left-hand ones, each followed by its right neighbour.
inline void blendInside(const uint8_t* top, const uint8_t* bottom, const Weights& w, uint8_t* d) {
#if defined(__SSE2__)
    // (left, right) pairs of each channel times the (left, right) weights.
    const __m128i zero = _mm_setzero_si128();
    const __m128i t =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)), zero);
    const __m128i b =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom)), zero);
    const __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(t, _mm_srli_si128(t, 8)),
                                     _mm_set1_epi32(w.topLeft | w.topRight << 16)),
                      _mm_madd_epi16(_mm_unpacklo_epi16(b, _mm_srli_si128(b, 8)),
                                     _mm_set1_epi32(w.bottomLeft | w.bottomRight << 16)));
    const __m128i rounded =
        _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kProductBits - 1))), kProductBits);
    const int32_t packed =
        _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(rounded, zero), zero));
    std::memcpy(d, &packed, 4);
#else
    for (int c = 0; c < 4; ++c) d[c] = weighOne(top[c], top[c + 4], bottom[c], bottom[c + 4], w);
#endif
}

// Some neighbour off the picture: it counts as transparent black.
void blendAtEdge(const detail::TurnRow& r, int sx, int sy, const Weights& w, uint8_t* d) {
    static const uint8_t clear[4] = {0, 0, 0, 0};
    const uint8_t* p[4];
    for (int k = 0; k < 4; ++k) {
        const int cx = sx + (k & 1), cy = sy + (k >> 1);
        p[k] = cx >= 0 && cx < r.width && cy >= 0 && cy < r.height
                   ? r.picture + static_cast<std::size_t>(cy) * r.stride + cx * 4
                   : clear;
    }
    for (int c = 0; c < 4; ++c) d[c] = weighOne(p[0][c], p[1][c], p[2][c], p[3][c], w);
}

// Pixels [x, last) of a row, one at a time.
void turnPixels(const detail::TurnRow& r, int x, int last, uint8_t* out) {
    for (; x < last; ++x) {
        const int fx = (r.startX + r.stepX[x]) >> (kCoordBits - kSubpixelBits);
        const int fy = (r.startY + r.stepY[x]) >> (kCoordBits - kSubpixelBits);
        const int sx = (fx >> kSubpixelBits) - r.atX, sy = (fy >> kSubpixelBits) - r.atY;
        const int ax = fx & (kSubpixels - 1), ay = fy & (kSubpixels - 1);
        const Weights w{(kSubpixels - ax) * (kSubpixels - ay), ax * (kSubpixels - ay),
                        (kSubpixels - ax) * ay, ax * ay};
        uint8_t* d = out + static_cast<std::size_t>(x) * 4;
        if (sx >= 0 && sx < r.width - 1 && sy >= 0 && sy < r.height - 1) {
            const uint8_t* p = r.picture + static_cast<std::size_t>(sy) * r.stride + sx * 4;
            blendInside(p, p + r.stride, w, d);
        } else {
            blendAtEdge(r, sx, sy, w, d);
        }
    }
}

constexpr int kBlock = 8;
// Below this side a second thread costs more than it saves.
constexpr int kSplitSide = 192;

}  // namespace

void turnPicture(const uint8_t* picture, int32_t width, int32_t height, cv::Point at,
                 const cv::Matx23f& turn, int32_t side, cv::Mat& out, bool vectorRows,
                 const TurnedRow& onRow) {
    out.create(side, side, CV_8UC4);
    const InverseMap inv(turn);
    const double* m = inv.m;
    const bool blocks = vectorRows && detail::avx2Available();

    // Per-column steps, as warpAffine rounds them.
    std::vector<int32_t> stepX(static_cast<std::size_t>(side)), stepY(stepX.size());
    for (int x = 0; x < side; ++x) {
        stepX[x] = cvRound(m[0] * x * kCoordScale);
        stepY[x] = cvRound(m[3] * x * kCoordScale);
    }
    // A sample touches the picture when its top-left neighbour lies from
    // one pixel before the picture to its last pixel; a pixel more each way
    // covers the rounding of the fixed point.
    const cv::Point2d lo(at.x - 2.0, at.y - 2.0), hi(at.x + width + 1.0, at.y + height + 1.0);

    // Rows are independent: a large turn is split in two halves, one core
    // each, as warpAffine spreads its rows.
    const detail::TurnRow proto{
        picture, width,        height,      static_cast<std::size_t>(width) * 4, at.x, at.y, 0,
        0,       stepX.data(), stepY.data()};
    const auto turnRows = [&](int begin, int end) {
        detail::TurnRow r = proto;
        for (int y = begin; y < end; ++y) {
            uint8_t* row = out.ptr<uint8_t>(y);
            r.startX = cvRound((m[1] * y + m[2]) * kCoordScale) + kRoundDelta;
            r.startY = cvRound((m[4] * y + m[5]) * kCoordScale) + kRoundDelta;
            int first = 0, last = 0;
            reachableColumns(m[0], m[1] * y + m[2], m[3], m[4] * y + m[5], lo, hi, side, first,
                             last);
            std::memset(row, 0, static_cast<std::size_t>(first) * 4);
            std::memset(row + static_cast<std::size_t>(last) * 4, 0,
                        static_cast<std::size_t>(side - last) * 4);

            // Blocks of eight while they lie inside the picture; a block
            // that reaches an edge, and the tail, one pixel at a time.
            for (int x = first; x < last;) {
                if (blocks) x = detail::turnBlocksAvx2(r, x, last, row);
                const int next = std::min(last, x + kBlock);
                turnPixels(r, x, next, row);
                x = next;
            }
            if (onRow) onRow(y, first, last);
        }
    };
    if (side < kSplitSide) {
        turnRows(0, side);
    } else {
        const int middle = side / 2;
        runSideBySide([&] { turnRows(middle, side); }, [&] { turnRows(0, middle); });
    }
}

}  // namespace quexal
