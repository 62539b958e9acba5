#include "mask/mask_rendering.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "core/cpu_features.h"
#include "core/numeric.h"
#include "mask/turn.h"

namespace quexal {
namespace {

constexpr double kPi = 3.14159265358979323846;

// alpha = a / 255 and 1 - alpha, each held as a 32-bit float.
struct BlendWeights {
    std::array<float, 256> alpha, beta;
    BlendWeights() {
        for (int a = 0; a < 256; ++a) {
            alpha[a] = asFloat32(a / 255.0);
            beta[a] = asFloat32(1.0 - alpha[a]);
        }
    }
};

const BlendWeights& blendWeights() {
    static const BlendWeights weights;
    return weights;
}

// One pixel of the blend. Alpha 0 and 255 take the short way; the blend
// formula gives the same bytes for them.
inline void blendPixel(const uint8_t* s, uint8_t* f, const BlendWeights& w) {
    const uint8_t a = s[3];
    if (a == 0) return;
    if (a == 255) {
        f[0] = s[0];
        f[1] = s[1];
        f[2] = s[2];
        return;
    }
    const float alpha = w.alpha[a], beta = w.beta[a];
    f[0] = blendChannel(s[0], f[0], alpha, beta);
    f[1] = blendChannel(s[1], f[1], alpha, beta);
    f[2] = blendChannel(s[2], f[2], alpha, beta);
}

// Makes the scratch remember `picture`, dropping what was derived from
// another one.
void rememberPicture(MaskScratch& scratch, const uint8_t* picture, int32_t width, int32_t height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    if (scratch.pictureWidth == width && scratch.pictureHeight == height &&
        scratch.picture.size() == bytes && std::memcmp(scratch.picture.data(), picture, bytes) == 0)
        return;
    scratch.picture.assign(picture, picture + bytes);
    scratch.pictureWidth = width;
    scratch.pictureHeight = height;
    scratch.scaledValid = false;
    scratch.turnedValid = false;
}

}  // namespace

namespace detail {

void blendSourceRow(const uint8_t* sourceRow, int64_t r, int64_t from, int64_t to,
                    const Landing& at) {
    const int64_t frameRow = at.firstRow + r;
    if (frameRow < 0 || frameRow >= at.frameHeight) return;
    const int64_t c0 = std::max<int64_t>(from, -at.left);
    const int64_t c1 = std::min<int64_t>(to, at.frameWidth - at.left);
    if (c0 >= c1) return;

    const BlendWeights& w = blendWeights();
    const uint8_t* s = sourceRow + static_cast<std::size_t>(c0) * 4;
    uint8_t* f = at.frame + static_cast<std::size_t>(frameRow) * at.frameWidth * 3 +
                 static_cast<std::size_t>(at.left + c0) * 3;
    // Runs of opaque or clear blocks go eight at a time; the pixels of a
    // mixed block (the picture's soft edges) one at a time.
    for (int64_t c = c0; c < c1;) {
        if (at.vectorBlocks) {
            const int32_t done = copyOrSkipBlocksAvx2(s, f, static_cast<int32_t>(c1 - c));
            c += done, s += 4 * done, f += 3 * done;
        }
        const int64_t end = std::min<int64_t>(c + kBlendBlock, c1);
        for (; c < end; ++c, s += 4, f += 3) blendPixel(s, f, w);
    }
}

void blendPicture(const uint8_t* source, int32_t cols, int32_t rows, const Landing& at) {
    const int64_t r0 = std::max<int64_t>(0, -at.firstRow);
    const int64_t r1 = std::min<int64_t>(rows, at.frameHeight - at.firstRow);
    const std::size_t stride = static_cast<std::size_t>(cols) * 4;
    for (int64_t r = r0; r < r1; ++r)
        blendSourceRow(source + static_cast<std::size_t>(r) * stride, r, 0, cols, at);
}

}  // namespace detail

void drawMask(const uint8_t* picture, uint8_t* frame, int32_t pictureWidth, int32_t pictureHeight,
              int32_t left, int32_t top, int32_t width, int32_t height, float angle,
              int32_t frameWidth, int32_t frameHeight, MaskScratch& scratch) {
    if (picture == nullptr || frame == nullptr) return;
    if (pictureWidth <= 0 || pictureHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) return;
    // A negative overlay size has no picture to resample to.
    if (width < 0 || height < 0) return;

    const bool resample =
        width != 0 && height != 0 && (width != pictureWidth || height != pictureHeight);
    const bool turn = angle != 0.0f;
    if (resample || turn) rememberPicture(scratch, picture, pictureWidth, pictureHeight);

    const uint8_t* source = picture;
    int32_t cols = pictureWidth, rows = pictureHeight;
    if (resample) {
        if (!scratch.scaledValid || scratch.scaled.cols != width || scratch.scaled.rows != height) {
            scaleMask(picture, pictureWidth, pictureHeight, width, height, scratch.scaled);
            scratch.scaledValid = true;
            scratch.turnedValid = false;
        }
        source = scratch.scaled.data;
        cols = width;
        rows = height;
    }

    // The first source row lands one row above `top`.
    const int64_t firstRow = static_cast<int64_t>(top) - 1;
    detail::Landing at{frame, frameWidth, frameHeight, left, firstRow, detail::avx2Available()};
    if (!turn) {
        detail::blendPicture(source, cols, rows, at);
        return;
    }

    // The turned square is centred where the picture would lie.
    const int32_t g = turnedCanvasSide(cols, rows, angle);
    at.left -= (g - cols) / 2;
    at.firstRow -= (g - rows) / 2;
    // A turn is reused only if made from the same source: the resampled
    // picture of this size, or the picture itself.
    const bool sameTurn = scratch.turnedValid && scratch.turnedAngle == angle &&
                          scratch.turnedFromWidth == cols && scratch.turnedFromHeight == rows;
    if (sameTurn) {
        detail::blendPicture(scratch.turned.data, g, g, at);
        return;
    }
    // Each turned row is blended as soon as it is made, while it is still
    // in cache, and only over the stretch the picture reaches.
    rotateMask(source, cols, rows, angle, scratch.turned,
               [&](int32_t r, int32_t first, int32_t last) {
                   detail::blendSourceRow(scratch.turned.ptr<uint8_t>(r), r, first, last, at);
               });
    scratch.turnedValid = true;
    scratch.turnedAngle = angle;
    scratch.turnedFromWidth = cols;
    scratch.turnedFromHeight = rows;
}

void drawMask(const uint8_t* picture, uint8_t* frame, int32_t pictureWidth, int32_t pictureHeight,
              int32_t left, int32_t top, int32_t width, int32_t height, float angle,
              int32_t frameWidth, int32_t frameHeight) {
    MaskScratch scratch;
    drawMask(picture, frame, pictureWidth, pictureHeight, left, top, width, height, angle,
             frameWidth, frameHeight, scratch);
}

void scaleMask(const uint8_t* picture, int32_t pictureWidth, int32_t pictureHeight,
               int32_t newWidth, int32_t newHeight, cv::Mat& out) {
    const cv::Mat source(pictureHeight, pictureWidth, CV_8UC4, const_cast<uint8_t*>(picture));
    out.create(newHeight, newWidth, CV_8UC4);
    cv::resize(source, out, out.size(), 0, 0, cv::INTER_AREA);
}

int32_t rotatedCanvasSide(int32_t width, float angle) {
    const float diagonal = std::sqrt(asFloat32(2.0 * width * width));
    const float turned = asFloat32(std::fabs(angle) + kPi / 4);
    const float sine = asFloat32(std::sin(static_cast<double>(turned)));
    const int32_t side = truncToInt(static_cast<double>(sine) * diagonal);
    return std::max(side, width);
}

int32_t turnedCanvasSide(int32_t width, int32_t height, float angle) {
    // The canvas is sized by the width; it must also hold the height, which
    // only a picture taller than wide can exceed.
    return std::max(rotatedCanvasSide(width, angle), height);
}

int32_t rotateMask(const uint8_t* picture, int32_t pictureWidth, int32_t pictureHeight, float angle,
                   cv::Mat& out, const TurnedRow& onRow) {
    const int32_t g = turnedCanvasSide(pictureWidth, pictureHeight, angle);

    // The matrix is held in 32-bit floats, as the turn has always been
    // computed; the turn widens it again, as warpAffine does.
    const float centre = static_cast<float>(g / 2);
    const cv::Matx23f turn = cv::getRotationMatrix2D_(
        cv::Point2f(centre, centre), static_cast<double>(angle) * 180.0 / kPi, 1.0);
    turnPicture(picture, pictureWidth, pictureHeight,
                cv::Point((g - pictureWidth) / 2, (g - pictureHeight) / 2), turn, g, out, true,
                onRow);
    return g;
}

void obscureRegion(cv::Mat& image, int32_t mode, int32_t strength, int32_t left, int32_t top,
                   int32_t width, int32_t height, int32_t imageWidth, int32_t imageHeight,
                   cv::Mat& scratch) {
    if (image.empty() || image.type() != CV_8UC3) return;
    if (imageWidth == 0 || imageHeight == 0 || left < 0 || top < 0 || strength < 4) return;

    int32_t n = strength;
    if (mode == 1) {
        n -= n % 4;
        top -= top % 4;
        width -= width % n;
        height -= height % n;
    } else if (mode == 2) {
        if (n % 2 == 0) ++n;
    } else {
        return;
    }

    // Whole rectangle or nothing; the image's own size is checked too, in
    // case the size handed in disagrees with it.
    if (width <= 0 || height <= 0) return;
    const int64_t right = static_cast<int64_t>(left) + width;
    const int64_t bottom = static_cast<int64_t>(top) + height;
    if (right > imageWidth || bottom > imageHeight) return;
    if (right > image.cols || bottom > image.rows) return;

    cv::Mat region = image(cv::Rect(left, top, width, height));
    region.copyTo(scratch);
    if (mode == 1)
        pixelateBlocks(scratch, n);
    else
        cv::blur(scratch, scratch, cv::Size(n, n), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    scratch.copyTo(region);
}

void obscureRegion(cv::Mat& image, int32_t mode, int32_t strength, int32_t left, int32_t top,
                   int32_t width, int32_t height, int32_t imageWidth, int32_t imageHeight) {
    cv::Mat scratch;
    obscureRegion(image, mode, strength, left, top, width, height, imageWidth, imageHeight,
                  scratch);
}

void pixelateBlocks(cv::Mat& image, int32_t n) {
    if (image.empty() || image.type() != CV_8UC3 || n <= 0) return;
    const int32_t blocksX = image.cols / n, blocksY = image.rows / n;
    if (blocksX == 0 || blocksY == 0) return;

    // 64-bit sums: a 32-bit sum would wrap for blocks above 4104 pixels a side.
    std::vector<uint64_t> sums(static_cast<std::size_t>(blocksX) * 3);
    const uint64_t area = static_cast<uint64_t>(n) * n;
    for (int32_t band = 0; band < blocksY; ++band) {
        const int32_t y0 = band * n, y1 = y0 + n;
        std::fill(sums.begin(), sums.end(), 0);
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* p = image.ptr<uint8_t>(y);
            for (int32_t b = 0; b < blocksX; ++b) {
                uint64_t* sum = &sums[static_cast<std::size_t>(b) * 3];
                for (int32_t k = 0; k < n; ++k, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
        }
        for (uint64_t& sum : sums) sum /= area;  // means rounded down
        for (int32_t y = y0; y < y1; ++y) {
            uint8_t* p = image.ptr<uint8_t>(y);
            for (int32_t b = 0; b < blocksX; ++b) {
                const uint64_t* mean = &sums[static_cast<std::size_t>(b) * 3];
                for (int32_t k = 0; k < n; ++k, p += 3) {
                    p[0] = static_cast<uint8_t>(mean[0]);
                    p[1] = static_cast<uint8_t>(mean[1]);
                    p[2] = static_cast<uint8_t>(mean[2]);
                }
            }
        }
    }
}

}  // namespace quexal
