#include "effects/lens/lens_maps.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/numeric.h"

namespace quexal {
namespace {

// Index of the pixel that a real source coordinate truncates to, or -1 when
// that pixel lies outside 0..limit-1. The range is tested on the real value
// so that huge values and NaN (a zero half-size) never reach a conversion.
int32_t truncatedIndex(double v, int32_t limit) {
    if (!(v > -1.0 && v < static_cast<double>(limit))) return -1;
    return truncToInt(v);
}

}  // namespace

int32_t swirlSquareSize(int32_t width, int32_t height) {
    return std::min(width, height);
}
// The square keeps its place in the picture for both orders: an odd spare
// row lies above it in the picture, at the end of a bottom-first buffer and
// at the start of a top-first one.
int32_t swirlSquareTop(int32_t height, int32_t size, RowOrder order) {
    const int32_t spare = height - size;
    return order == RowOrder::BottomFirst ? spare / 2 : spare - spare / 2;
}
int32_t swirlSquareLeft(int32_t width, int32_t size) {
    return (width - size) / 2;
}

SwirlMap buildSwirlMap(int32_t width, int32_t height, RowOrder order) {
    SwirlMap map;
    if (width <= 0 || height <= 0) return map;
    const int32_t n = swirlSquareSize(width, height);
    const int32_t top = swirlSquareTop(height, n);  // the rows j below count bottom first
    const int32_t left = swirlSquareLeft(width, n);
    const int32_t half = n / 2;
    map.size = n;
    map.offsets.assign(static_cast<std::size_t>(n) * n, 0);

    const bool upsideDown = order == RowOrder::TopFirst;
    for (int32_t j = 0; j < n; ++j) {
        const int32_t bufferRow = upsideDown ? n - 1 - j : j;
        int32_t* out = map.offsets.data() + static_cast<std::size_t>(bufferRow) * n;
        const double v = static_cast<double>(j) / n - 0.5;
        for (int32_t c = 0; c < n; ++c) {
            const double u = static_cast<double>(c) / n - 0.5;
            const double l = std::sqrt(u * u + v * v);
            if (l >= 0.5) continue;  // outside the inscribed disc

            // Half a turn at the centre, falling steeply to none at the rim.
            const double phi = std::numbers::pi * std::pow(1.0 - 2.0 * l, 6.0);
            const double cosPhi = std::cos(phi), sinPhi = std::sin(phi);
            const double dx = c - half, dy = j - half;
            const int32_t rowShift = truncToInt(half + dy * cosPhi + dx * sinPhi - j);
            const int32_t colShift = truncToInt(half + dx * cosPhi - dy * sinPhi - c);

            // The turn keeps every source inside the disc; the test makes
            // sure that no rounding slip can ever read outside the frame.
            const int32_t srcRow = top + j + rowShift, srcCol = left + c + colShift;
            if (srcRow < 0 || srcRow >= height || srcCol < 0 || srcCol >= width) continue;
            out[c] = ((upsideDown ? -rowShift : rowShift) * width + colShift) * 3;
        }
    }
    return map;
}

// The radial distortions: each gives the source radius for a destination
// radius r (0 at the centre, 1 at the edge midpoints), along the same ray.
double funnelRadius(double r) {
    return 0.5 * std::sqrt(r) * std::exp(0.5 * r);
}
double bulgeRadius(double r) {
    return r * r;
}
double magnifyRadius(double r) {
    return 0.25 * r * std::exp(std::sqrt(r));
}
double pinchRadius(double r) {
    return r * (1.0 + std::exp(-4.0 * r * r));
}

// The stretch works on each axis alone, so lines stay straight.
Point2 stretchPoint(double x, double y) {
    return {x * std::abs(x), y * std::abs(y)};
}

Point2 alongRay(double x, double y, double (*radius)(double)) {
    const double r = std::sqrt(x * x + y * y);
    const double scaled = radius(r);
    const double theta = std::atan2(y, x);
    return {scaled * std::cos(theta), scaled * std::sin(theta)};
}

Point2 distortPoint(double x, double y, int mode) {
    switch (mode) {
        case kLensFunnel: return alongRay(x, y, funnelRadius);
        case kLensBulge: return alongRay(x, y, bulgeRadius);
        case kLensMagnify: return alongRay(x, y, magnifyRadius);
        case kLensStretch: return stretchPoint(x, y);
        case kLensPinch: return alongRay(x, y, pinchRadius);
        default: return {x, y};
    }
}

// Rows j count bottom first; a top-first buffer holds row j at height - 1 - j.
std::vector<int32_t> buildLensRemap(int32_t width, int32_t height, int mode, RowOrder order) {
    std::vector<int32_t> map;
    if (width <= 0 || height <= 0) return map;
    map.resize(static_cast<std::size_t>(width) * height);
    const double hw = width / 2, hh = height / 2;
    const bool upsideDown = order == RowOrder::TopFirst;

    for (int32_t j = 0; j < height; ++j) {
        const double y = j / hh - 1.0;
        int32_t* out =
            map.data() + static_cast<std::size_t>(upsideDown ? height - 1 - j : j) * width;
        for (int32_t k = 0; k < width; ++k) {
            const double x = k / hw - 1.0;
            const Point2 p = distortPoint(x, y, mode);
            const int32_t srcCol = truncatedIndex((p.x + 1.0) * hw, width);
            int32_t srcRow = truncatedIndex((p.y + 1.0) * hh, height);
            if (srcRow >= 0 && upsideDown) srcRow = height - 1 - srcRow;
            out[k] = (srcCol < 0 || srcRow < 0) ? kKeepPixel : (srcRow * width + srcCol) * 3;
        }
    }
    return map;
}

}  // namespace quexal
