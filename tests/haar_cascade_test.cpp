// The Haar cascade scan against OpenCV's own detectMultiScale with no
// grouping: the same windows, as sorted lists, on real photos at many
// sizes, on eye crops as the detection makes them, and on noise, through
// both the portable and the vector rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include "mask/cascade/cascade_search.h"
#include "mask/cascade/haar_cascade.h"
#include "test_support.h"

namespace quexal {
namespace {

const std::string kEyeCascade = std::string(QUEXAL_DATA_ROOT) + "/QXdata/eye_8.xml";
const std::string kFaceCascade =
    std::string(QUEXAL_DATA_ROOT) + "/QXdata/haarcascade_frontalface_alt.xml";
// Cascades that come with Debian's OpenCV, for the kinds ours do not use.
const std::string kSystemCascades = "/usr/share/opencv4/";

const char* const kPhotos[] = {"astronaut_320x240.png", "solvay_face_320x240.png"};

bool exists(const std::string& path) {
    return std::ifstream(path).good();
}

cv::Mat grayPhoto(const char* name) {
    cv::Mat gray;
    cv::cvtColor(test::loadPhoto(name), gray, cv::COLOR_BGR2GRAY);
    return gray;
}

std::vector<cv::Rect> sorted(std::vector<cv::Rect> windows) {
    std::sort(windows.begin(), windows.end(), [](const cv::Rect& a, const cv::Rect& b) {
        return std::tie(a.y, a.x, a.width, a.height) < std::tie(b.y, b.x, b.width, b.height);
    });
    return windows;
}

// One cascade read by both, compared on any number of images.
class Pair {
public:
    explicit Pair(const std::string& path) {
        EXPECT_TRUE(reference_.load(path)) << path;
        EXPECT_TRUE(ours_.load(path)) << path;
    }

    // Compares both paths of ours with OpenCV; answers OpenCV's window count.
    size_t expectSame(const cv::Mat& gray, double factor, cv::Size minSize,
                      const std::string& what) {
        std::vector<cv::Rect> expected;
        if (!gray.empty()) reference_.detectMultiScale(gray, expected, factor, 0, 0, minSize);
        expected = sorted(expected);
        for (bool vector : {false, true}) {
            ours_.setVectorRows(vector);
            if (vector && !ours_.vectorRows()) continue;
            std::vector<cv::Rect> found;
            ours_.detectRaw(gray, factor, minSize, found);
            EXPECT_EQ(expected, sorted(found))
                << what << " " << gray.cols << "x" << gray.rows << " factor " << factor << " min "
                << minSize << (vector ? " vector rows" : " portable rows");
        }
        return expected.size();
    }

private:
    cv::CascadeClassifier reference_;
    HaarCascade ours_;
};

TEST(HaarCascade, LoadsOnlyStumpHaarCascades) {
    HaarCascade cascade;
    EXPECT_TRUE(cascade.load(kEyeCascade));
    EXPECT_EQ(cv::Size(20, 20), cascade.windowSize());
    EXPECT_FALSE(cascade.load(test::tempPath("no_such_cascade.xml")));
    EXPECT_TRUE(cascade.empty());
    std::vector<cv::Rect> windows{{1, 2, 3, 4}};
    cascade.detectRaw(grayPhoto(kPhotos[0]), 1.1, {}, windows);
    EXPECT_TRUE(windows.empty());

    // A rectangle reaching beyond the window would read beside the summed
    // tables: the file is refused, as OpenCV refuses it.
    const std::vector<uint8_t> bytes = test::readFile(kEyeCascade);
    std::string xml(bytes.begin(), bytes.end());
    const std::size_t rect = xml.find("0 8 20 12 -1.", xml.find("<rects>"));
    ASSERT_NE(std::string::npos, rect);
    xml.replace(rect, 1, "18");
    const std::string outside = test::tempPath("rect_outside.xml");
    test::writeFile(outside, std::vector<uint8_t>(xml.begin(), xml.end()));
    EXPECT_FALSE(cascade.load(outside));
    EXPECT_FALSE(CascadeSearch().load(outside));

    const std::string lbp = kSystemCascades + "lbpcascades/lbpcascade_frontalface.xml";
    const std::string trees = kSystemCascades + "haarcascades/haarcascade_frontalface_alt2.xml";
    if (!exists(lbp) || !exists(trees)) GTEST_SKIP() << "no system cascades";
    EXPECT_FALSE(cascade.load(lbp));
    EXPECT_FALSE(cascade.load(trees));
    EXPECT_TRUE(cascade.empty());
}

// Whole photos and the photos resized from below the window to 640x480,
// for both of our cascades, both scale steps and several minimum windows.
TEST(HaarCascade, SameWindowsAsOpenCVOnPhotosAtAnySize) {
    const cv::Size sizes[] = {{0, 0},   {1, 1},    {19, 30},   {20, 20},   {21, 23},   {37, 29},
                              {64, 48}, {101, 99}, {160, 120}, {320, 240}, {400, 300}, {640, 480}};
    for (const std::string& path : {kEyeCascade, kFaceCascade}) {
        Pair pair(path);
        size_t found = 0;
        for (const char* photo : kPhotos) {
            const cv::Mat gray = grayPhoto(photo);
            for (const cv::Size& size : sizes) {
                cv::Mat image;
                if (size.area() > 0) cv::resize(gray, image, size, 0, 0, cv::INTER_LINEAR);
                // The last minimum fits no window: OpenCV then searches the
                // scale nearest to it.
                const cv::Size minSizes[] = {{}, {8, 8}, size / 6, {size.width + 60, 0}};
                for (double factor : {1.1, 1.5})
                    for (const cv::Size& minSize : minSizes)
                        found += pair.expectSame(image, factor, minSize, photo);
            }
        }
        // The comparison means something only if OpenCV finds windows.
        EXPECT_GT(found, 100u) << path;
    }
}

// The eye search's own input: a band of the face cut in two halves, each
// enlarged twice with INTER_AREA, searched at 1.1 from 8x8.
TEST(HaarCascade, SameWindowsAsOpenCVOnEnlargedEyeCrops) {
    cv::CascadeClassifier faces(kFaceCascade);
    Pair eyes(kEyeCascade);
    size_t found = 0;
    for (const char* photo : kPhotos) {
        const cv::Mat gray = grayPhoto(photo);
        std::vector<cv::Rect> detected;
        faces.detectMultiScale(gray, detected, 1.1, 3, 0, {40, 40});
        ASSERT_FALSE(detected.empty()) << photo;
        for (const cv::Rect& face : detected)
            for (int side = 0; side < 2; ++side)
                for (int grow : {0, 6, 20}) {
                    cv::Rect band(face.x + side * face.width / 2 - grow,
                                  face.y + face.height / 5 - grow, face.width / 2 + 2 * grow,
                                  face.height * 3 / 10 + 2 * grow);
                    band &= cv::Rect(0, 0, gray.cols, gray.rows);
                    cv::Mat large;
                    cv::resize(gray(band), large, band.size() * 2, 0, 0, cv::INTER_AREA);
                    found += eyes.expectSame(large, 1.1, {8, 8}, photo);
                    eyes.expectSame(large, 1.5, {8, 8}, photo);
                    // Eyes tiled over and over, so that some sit on the
                    // last rows of windows, which OpenCV's stripes may skip.
                    cv::Mat tiled;
                    cv::repeat(large, 3, 2, tiled);
                    for (int cut : {0, 1, 2, 3, 5, 8})
                        found += eyes.expectSame(tiled.rowRange(0, tiled.rows - cut), 1.1, {8, 8},
                                                 "tiled eyes");
                }
    }
    EXPECT_GT(found, 20u);
}

// Noise has contrast everywhere, so every window reaches the stages; a
// cascade with tilted features exercises the tilted sums.
TEST(HaarCascade, SameWindowsAsOpenCVOnNoiseAndWithTiltedFeatures) {
    cv::Mat noise(203, 257, CV_8UC1);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat blurred;
    cv::GaussianBlur(noise, blurred, {5, 5}, 1.5);
    for (const std::string& path : {kEyeCascade, kFaceCascade}) {
        Pair pair(path);
        for (double factor : {1.1, 1.5}) {
            pair.expectSame(noise, factor, {}, "noise");
            pair.expectSame(blurred, factor, {}, "blurred noise");
        }
    }

    const std::string tilted =
        kSystemCascades + "haarcascades/haarcascade_frontalcatface_extended.xml";
    if (!exists(tilted)) GTEST_SKIP() << "no tilted cascade";
    Pair pair(tilted);
    size_t found = 0;
    for (const char* photo : kPhotos)
        for (double factor : {1.1, 1.5})
            found += pair.expectSame(grayPhoto(photo), factor, {}, photo);
    found += pair.expectSame(blurred, 1.1, {}, "blurred noise");
    EXPECT_GT(found, 0u);
}

}  // namespace
}  // namespace quexal
