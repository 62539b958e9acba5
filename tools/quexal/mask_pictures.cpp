#include "mask_pictures.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "host_error.h"

namespace qxcli {

namespace {

// Pictures are drawn at four times their size and shrunk with area
// interpolation, which gives the outlines a soft alpha edge.
constexpr int kOversample = 4;

class Canvas {
public:
    Canvas(int width, int height)
        : size_(width, height),
          big_(height * kOversample, width * kOversample, CV_8UC4, cv::Scalar::all(0)) {}

    static cv::Scalar bgra(int b, int g, int r, int a = 255) { return cv::Scalar(b, g, r, a); }

    void ellipse(cv::Point2f c, cv::Size2f axes, double angle, const cv::Scalar& colour,
                 int thickness = -1) {
        cv::ellipse(big_, scaled(c),
                    cv::Size(cvRound(axes.width * kOversample), cvRound(axes.height * kOversample)),
                    angle, 0, 360, colour, thick(thickness), cv::LINE_AA);
    }
    void arc(cv::Point2f c, cv::Size2f axes, double from, double to, const cv::Scalar& colour,
             int thickness) {
        cv::ellipse(big_, scaled(c),
                    cv::Size(cvRound(axes.width * kOversample), cvRound(axes.height * kOversample)),
                    0, from, to, colour, thick(thickness), cv::LINE_AA);
    }
    void rect(cv::Point2f a, cv::Point2f b, const cv::Scalar& colour) {
        cv::rectangle(big_, scaled(a), scaled(b), colour, cv::FILLED, cv::LINE_AA);
    }
    void line(cv::Point2f a, cv::Point2f b, const cv::Scalar& colour, int thickness) {
        cv::line(big_, scaled(a), scaled(b), colour, thick(thickness), cv::LINE_AA);
    }
    void polygon(const std::vector<cv::Point2f>& points, const cv::Scalar& colour) {
        std::vector<cv::Point> big;
        for (const cv::Point2f& p : points) big.push_back(scaled(p));
        cv::fillPoly(big_, std::vector<std::vector<cv::Point>>{big}, colour, cv::LINE_AA);
    }
    cv::Mat finish() const {
        cv::Mat out;
        cv::resize(big_, out, size_, 0, 0, cv::INTER_AREA);
        return out;
    }

private:
    static cv::Point scaled(cv::Point2f p) {
        return {cvRound(p.x * kOversample), cvRound(p.y * kOversample)};
    }
    static int thick(int t) { return t < 0 ? cv::FILLED : t * kOversample; }

    cv::Size size_;
    cv::Mat big_;
};

const cv::Scalar kClear = Canvas::bgra(0, 0, 0, 0);

}  // namespace

// With the overlay as wide as four eye distances and centred 0.45 of its
// width above the face point, the brim lands on the forehead at about
// row 112.
cv::Mat drawHat() {
    Canvas c(200, 190);
    const cv::Scalar felt = Canvas::bgra(45, 32, 30), band = Canvas::bgra(40, 40, 190);
    c.ellipse({100, 114}, {80, 13}, 0, felt);
    c.rect({56, 20}, {144, 112}, felt);
    c.ellipse({100, 20}, {44, 8}, 0, Canvas::bgra(70, 55, 52));
    c.rect({56, 90}, {144, 106}, band);
    c.rect({68, 26}, {76, 88}, Canvas::bgra(255, 255, 255, 60));
    c.ellipse({100, 114}, {80, 13}, 0, Canvas::bgra(20, 15, 15), 2);
    return c.finish();
}

// Four eye distances wide: the eyes fall 25 pixels either side of the
// middle, a little below the centre row.
cv::Mat drawGlasses() {
    Canvas c(200, 190);
    const cv::Scalar frame = Canvas::bgra(25, 25, 30), lens = Canvas::bgra(60, 35, 20, 175);
    for (float x : {74.f, 126.f}) {
        c.ellipse({x, 100}, {23, 19}, 0, lens);
        c.ellipse({x, 100}, {23, 19}, 0, frame, 4);
        c.ellipse({x - 8, 93}, {7, 4}, -25, Canvas::bgra(255, 255, 255, 150));
    }
    c.arc({100, 99}, {6, 5}, 180, 360, frame, 3);
    c.line({51, 96}, {30, 90}, frame, 4);
    c.line({149, 96}, {170, 90}, frame, 4);
    return c.finish();
}

// Two eye distances wide and centred on the eye line: eyes at columns 25
// and 75 of row 45.
cv::Mat drawEyeMask() {
    Canvas c(100, 90);
    const std::vector<cv::Point2f> band = {{3, 40},  {12, 29}, {38, 30}, {50, 36},
                                           {62, 30}, {88, 29}, {97, 40}, {92, 56},
                                           {70, 62}, {50, 55}, {30, 62}, {8, 56}};
    c.polygon(band, Canvas::bgra(120, 30, 110, 240));
    for (float x : {25.f, 75.f}) {
        c.ellipse({x, 45}, {12, 8}, 0, kClear);
        c.ellipse({x, 45}, {13, 9}, 0, Canvas::bgra(40, 190, 235), 1);
    }
    return c.finish();
}

// Centred 0.4 eye distances below the eye line: the nose tip is near row
// 58 and the mouth near row 75.
cv::Mat drawNoseMoustache() {
    Canvas c(100, 90);
    const cv::Scalar hair = Canvas::bgra(25, 40, 75);
    c.ellipse({36, 74}, {16, 6}, -15, hair);
    c.ellipse({64, 74}, {16, 6}, 15, hair);
    c.ellipse({50, 57}, {12, 12}, 0, Canvas::bgra(35, 30, 215));
    c.ellipse({46, 53}, {4, 3}, -30, Canvas::bgra(255, 255, 255, 170));
    return c.finish();
}

std::vector<MaskPicture> sampleMaskPictures() {
    return {{"hat_200x190.png", 1, drawHat()},
            {"glasses_200x190.png", 2, drawGlasses()},
            {"nose_moustache_100x90.png", 3, drawNoseMoustache()},
            {"eye_mask_100x90.png", 4, drawEyeMask()}};
}

std::vector<std::filesystem::path> writeMaskPictures(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::vector<std::filesystem::path> written;
    for (const MaskPicture& m : sampleMaskPictures()) {
        const std::filesystem::path path = dir / m.file;
        if (!cv::imwrite(path.string(), m.pixels)) throw HostError("cannot write " + path.string());
        written.push_back(path);
    }
    return written;
}

}  // namespace qxcli
