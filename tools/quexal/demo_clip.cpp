#include "demo_clip.h"

#include <cmath>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "host_error.h"

namespace qxcli {

namespace {

constexpr int kEmptyFrames = 12;
constexpr int kRiseFrames = 24;
constexpr int kSwayFrames = 44;
constexpr double kPi = 3.14159265358979323846;

// Head, neck and shoulders of the 320x240 portrait: a hand-traced outline,
// less the pale backdrop that shows inside it round the hair, holes filled.
cv::Mat personMatte(const cv::Mat& portrait) {
    static const cv::Point kOutline[] = {{68, 126},  {62, 95},   {66, 58},   {90, 26},   {128, 16},
                                         {166, 22},  {190, 43},  {199, 76},  {195, 106}, {183, 128},
                                         {170, 150}, {172, 158}, {186, 170}, {212, 240}, {0, 240},
                                         {2, 220},   {16, 192},  {42, 170},  {80, 152},  {70, 140}};
    const cv::Size size = portrait.size();
    std::vector<cv::Point> outline;
    for (const cv::Point& p : kOutline)
        outline.emplace_back(p.x * size.width / 320, p.y * size.height / 240);
    cv::Mat matte(size, CV_8U, cv::Scalar(0));
    cv::fillPoly(matte, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(255));

    // The backdrop is pale and nearly grey; below the chin the silver
    // helmet ring looks the same, so only the head rows are keyed.
    cv::Mat hsv, backdrop;
    cv::cvtColor(portrait, hsv, cv::COLOR_BGR2HSV);
    cv::inRange(hsv, cv::Scalar(0, 0, 150), cv::Scalar(180, 45, 255), backdrop);
    const int chin = size.height * 165 / 240;
    backdrop.rowRange(chin, size.height).setTo(0);
    const cv::Mat round3 = cv::getStructuringElement(cv::MORPH_ELLIPSE, {3, 3});
    cv::morphologyEx(backdrop, backdrop, cv::MORPH_OPEN, round3);
    matte.setTo(0, backdrop);
    cv::morphologyEx(matte, matte, cv::MORPH_OPEN,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, {5, 5}));

    std::vector<std::vector<cv::Point>> blobs;
    cv::findContours(matte, blobs, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    size_t largest = 0;
    for (size_t i = 1; i < blobs.size(); ++i)
        if (cv::contourArea(blobs[i]) > cv::contourArea(blobs[largest])) largest = i;
    matte.setTo(0);
    if (!blobs.empty())
        cv::drawContours(matte, blobs, static_cast<int>(largest), cv::Scalar(255), cv::FILLED);
    cv::GaussianBlur(matte, matte, cv::Size(5, 5), 0, 0, cv::BORDER_REPLICATE);
    return matte;
}

// Where the person stands in frame t: offset and tilt about the neck. The
// rise eases out and the sway stays slow enough for point tracking to hold.
struct Pose {
    double dx, dy, degrees;
};

Pose poseAt(int t, cv::Size size) {
    const double base = 0.12 * size.width;
    if (t < kEmptyFrames + kRiseFrames) {
        const double k = double(t - kEmptyFrames + 1) / kRiseFrames;  // 0 .. 1
        const double eased = 1.0 - (1.0 - k) * (1.0 - k);
        return {base, (1.0 - eased) * size.height, 0.0};
    }
    const double s = double(t - kEmptyFrames - kRiseFrames) / kSwayFrames;
    return {base + 0.14 * size.width * std::sin(2 * kPi * s),
            0.02 * size.height * std::sin(4 * kPi * s), 7.0 * std::sin(3 * kPi * s)};
}

void addSensorNoise(cv::Mat& frame, int t) {
    cv::Mat noise(frame.size(), CV_16SC3);
    cv::RNG rng(0x5eed + t);
    rng.fill(noise, cv::RNG::NORMAL, 0, 1.5);
    cv::Mat wide;
    frame.convertTo(wide, CV_16SC3);
    wide += noise;
    wide.convertTo(frame, CV_8UC3);
}

}  // namespace

DemoClip synthesiseClip(const cv::Mat& portrait, const cv::Mat& scene) {
    if (portrait.size() != scene.size()) throw HostError("portrait and scene differ in size");
    const cv::Size size = scene.size();
    const cv::Mat matte = personMatte(portrait);
    const cv::Point2f neck(0.4f * size.width, 0.83f * size.height);

    DemoClip clip;
    clip.emptyFrames = kEmptyFrames;
    const int total = kEmptyFrames + kRiseFrames + kSwayFrames;
    for (int t = 0; t < total; ++t) {
        cv::Mat frame = scene.clone();
        if (t >= kEmptyFrames) {
            const Pose pose = poseAt(t, size);
            cv::Mat move = cv::getRotationMatrix2D(neck, pose.degrees, 1.0);
            move.at<double>(0, 2) += pose.dx;
            move.at<double>(1, 2) += pose.dy;
            cv::Mat person, alpha;
            cv::warpAffine(portrait, person, move, size, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
            cv::warpAffine(matte, alpha, move, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                           cv::Scalar(0));
            cv::Mat blended;
            cv::blendLinear(person, frame, cv::Mat_<float>(alpha) / 255.0f,
                            1.0f - cv::Mat_<float>(alpha) / 255.0f, blended);
            frame = blended;
        }
        addSensorNoise(frame, t);
        clip.frames.push_back(frame);
    }
    return clip;
}

void writePanVideo(const cv::Mat& picture, const std::string& path, int frames, double fps) {
    cv::VideoWriter writer;
    const cv::Size size = picture.size();
    if (!writer.open(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size))
        throw HostError("cannot write video " + path);
    const cv::Size crop(size.width * 4 / 5, size.height * 4 / 5);
    for (int t = 0; t < frames; ++t) {
        const double k = 0.5 - 0.5 * std::cos(2 * kPi * t / frames);  // there and back
        const cv::Rect window(cvRound(k * (size.width - crop.width)),
                              (size.height - crop.height) / 2, crop.width, crop.height);
        cv::Mat frame;
        cv::resize(picture(window), frame, size, 0, 0, cv::INTER_LINEAR);
        writer.write(frame);
    }
}

}  // namespace qxcli
