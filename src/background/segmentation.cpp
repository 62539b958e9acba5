// Which pixels of a frame belong to the person: differences against the
// reference, outlines of the large blobs, a fill of the background from the
// top corners and the blurred matte.
#include "background/segmentation.h"

#include <algorithm>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "background/background.h"
#include "background/compositing.h"
#include "background/row_kernels.h"

namespace quexal {
namespace bkg {

int chainLength(const std::vector<cv::Point>& outline) {
    const std::size_t n = outline.size();
    if (n < 2) return 0;
    int steps = 0;
    cv::Point previous = outline[n - 1];
    for (const cv::Point& p : outline) {
        steps += std::max(std::abs(p.x - previous.x), std::abs(p.y - previous.y));
        previous = p;
    }
    return steps;
}

bool isLargeOutline(const std::vector<cv::Point>& outline) {
    return chainLength(outline) >= kMinChainLength &&
           cv::arcLength(outline, true) > kMinOutlinePerimeter;
}

// The outlines are traced with the simple chain approximation (end points of
// straight runs): their perimeter and their drawing at thickness 3 are then
// those of the approximated chains, which an outline through every chain
// point does not always reproduce pixel for pixel.
void drawLargeOutlines(cv::Mat& blobs, cv::Mat& canvas) {
    blobs.row(0).setTo(0);
    blobs.row(blobs.rows - 1).setTo(0);
    blobs.col(0).setTo(0);
    blobs.col(blobs.cols - 1).setTo(0);

    std::vector<std::vector<cv::Point>> outlines;
    cv::findContours(blobs, outlines, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);

    canvas.setTo(255);
    for (int i = 0; i < static_cast<int>(outlines.size()); ++i)
        if (isLargeOutline(outlines[i]))
            cv::drawContours(canvas, outlines, i, cv::Scalar(0), kOutlineThickness, cv::LINE_8);
}

std::optional<int> barrierRow(int32_t cutLine, int32_t frameHeight, int32_t reverseRows) {
    if (cutLine == 0) return std::nullopt;
    const int64_t percent = reverseRows ? 100 - static_cast<int64_t>(cutLine) : cutLine;
    const int64_t product = static_cast<int64_t>(frameHeight) * percent;
    const double row = static_cast<double>(product) / 100.0;
    // A line of thickness 2 this far outside the frame draws nothing, so
    // clamping here changes no pixel and keeps the drawing arithmetic small.
    const double margin = 4.0 * kBarrierThickness;
    return static_cast<int>(std::clamp(row, -margin, frameHeight + margin));
}

void drawBarrier(cv::Mat& canvas, int row) {
    cv::line(canvas, cv::Point(0, row), cv::Point(canvas.cols - 1, row), cv::Scalar(0),
             kBarrierThickness, cv::LINE_8, 0);
}

double fillFromTopCorners(cv::Mat& canvas) {
    const cv::Scalar filled(kFilledBackground), exact(0);
    cv::Rect bounds;
    double area = cv::floodFill(canvas, cv::Point(0, 0), filled, &bounds, exact, exact, 8);
    if (bounds.width < canvas.cols - 1)
        area +=
            cv::floodFill(canvas, cv::Point(canvas.cols - 1, 0), filled, &bounds, exact, exact, 8);
    return area;
}

void makeMatte(cv::Mat& canvas) {
    cv::threshold(canvas, canvas, kFilledBackground, 0, cv::THRESH_TOZERO_INV);
    cv::blur(canvas, canvas, cv::Size(kMatteBlurSize, kMatteBlurSize), cv::Point(-1, -1),
             cv::BORDER_REPLICATE);
}

}  // namespace bkg

// With exposure compensation the estimate is refreshed from this blurred
// frame and last frame's matte, before `mask` is reused as scratch.
Background::References Background::comparisonReferences() {
    if (exposureCompensation) {
        exposure.update(blurred, reference, matteValid_ ? mask : cv::Mat(), bkg::kFilledBackground);
        if (exposure.prepare(reference, bkg::kReferenceShift))
            return {exposure.corrected, exposure.bright, exposure.dark};
    }
    return {reference, referenceBright, referenceDark};
}

double Background::segment(int32_t cutLine) {
    using namespace bkg;
    boxBlur5(image, blurred);
    const References refs = comparisonReferences();

    // Three comparisons, the frame as it is, brightened, then darkened,
    // against the references prepared with the matching shifts; their union
    // is the raw foreground.
    differenceUnion(blurred, refs.plain, refs.bright, refs.dark, gray);

    // Grow every region by two pixels. Only whether a pixel is nonzero
    // matters to the outlines: a 3 x 3 dilation followed by a 3 x 3 box blur
    // leaves nonzero exactly the pixels within two of the foreground, which
    // is one 5 x 5 dilation.
    const cv::Mat grow = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kGrowSize, kGrowSize));
    cv::dilate(gray, gray, grow);

    drawLargeOutlines(gray, mask);
    if (const std::optional<int> row = barrierRow(cutLine, geometry_.height, geometry_.reverseRows))
        drawBarrier(mask, *row);

    // Everything not reached from the top corners (inside an outline, or
    // cut off by it or by the barrier) stays person.
    const double backgroundArea = fillFromTopCorners(mask);
    makeMatte(mask);
    matteValid_ = enoughBackground(backgroundArea, static_cast<int32_t>(mask.total()));
    return backgroundArea;
}

}  // namespace quexal
