// Face detection and one tracked frame on the portrait, beside OpenCV's
// stock face search (usual defaults) on the full grey frame. All on one
// thread: the goals are per core.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <string>
#include <vector>

#include "bench_faces.h"
#include "bench_support.h"
#include "mask/cascade/haar_cascade.h"
#include "session/session.h"

namespace quexal::bench {
namespace {

const FrameSize kFaceSizes[] = {{640, 480, "640x480"}, {1280, 720, "1280x720"}};

cv::Mat portrait() {
    return cv::imread(std::string(QUEXAL_TEST_DATA) + "/astronaut_320x240.png", cv::IMREAD_COLOR);
}

// The portrait enlarged to the frame height and centred, as a webcam
// would frame a person sitting at a desk.
cv::Mat closeUp(int width, int height) {
    const cv::Mat photo = portrait();
    cv::Mat scaled, frame;
    const int scaledWidth = photo.cols * height / photo.rows;
    cv::resize(photo, scaled, cv::Size(scaledWidth, height), 0, 0, cv::INTER_LINEAR);
    const int pad = (width - scaledWidth) / 2;
    cv::copyMakeBorder(scaled, frame, 0, 0, pad, width - scaledWidth - pad, cv::BORDER_REPLICATE);
    return frame;
}

// The portrait at its own size in the middle of the frame, shifted by dx:
// a face small enough for the tracker's fixed pixel limits.
cv::Mat distant(int width, int height, int dx) {
    const cv::Mat photo = portrait();
    const int left = (width - photo.cols) / 2 + dx, top = (height - photo.rows) / 2;
    cv::Mat frame;
    cv::copyMakeBorder(photo, frame, top, height - photo.rows - top, left,
                       width - photo.cols - left, cv::BORDER_REPLICATE);
    return frame;
}

// Copies of a frame, enough that cycling through them defeats the cache.
std::vector<std::vector<uint8_t>> uncachedCopies(const cv::Mat& frame) {
    const std::size_t bytes = frame.total() * frame.elemSize();
    std::vector<std::vector<uint8_t>> copies(std::max<std::size_t>(4, (64u << 20) / bytes + 1));
    for (auto& c : copies) c.assign(frame.data, frame.data + bytes);
    return copies;
}

// Runs the body on one OpenCV thread and restores the setting afterwards.
class OneThread {
public:
    OneThread() : saved_(cv::getNumThreads()) { cv::setNumThreads(1); }
    ~OneThread() { cv::setNumThreads(saved_); }

private:
    int saved_;
};

void detectOnce(benchmark::State& state, FrameSize size) {
    OneThread one;
    Session ctx;
    if (ctx.init(QUEXAL_DATA_ROOT, size.width, -size.height) != 1) {
        state.SkipWithError("init failed");
        return;
    }
    const auto frames = uncachedCopies(closeUp(size.width, size.height));
    std::size_t i = 0;
    int stage = 0;
    for (auto _ : state) {
        stage = ctx.face.detect(frames[i].data());
        i = (i + 1) % frames.size();
    }
    if (stage != 4) state.SkipWithError("no face and eyes found");
    reportFrames(state, frames[0].size());
}

void trackOnce(benchmark::State& state, FrameSize size) {
    OneThread one;
    Session ctx;
    if (ctx.init(QUEXAL_DATA_ROOT, size.width, -size.height) != 1) {
        state.SkipWithError("init failed");
        return;
    }
    // Two positions two pixels apart, alternating, so that every frame has
    // real motion to solve. The face is too small for the detector's
    // minimum window at these sizes, so the points are seeded from a
    // detection on the photo itself, moved to where it sits in the frame.
    const auto still = uncachedCopies(distant(size.width, size.height, 0));
    const auto moved = uncachedCopies(distant(size.width, size.height, 2));
    if (!seedTrackerFromPhoto(ctx, portrait())) {
        state.SkipWithError("no face and eyes found");
        return;
    }
    ctx.face.track(still[0].data());
    std::size_t i = 0;
    bool held = true;
    for (auto _ : state) {
        held = ctx.face.track((i % 2 ? moved : still)[i % still.size()].data()) == 1 && held;
        ++i;
    }
    if (!held) state.SkipWithError("track lost");
    reportFrames(state, still[0].size());
}

// A detection frame as a host sees it: OpenCV with its default threads,
// a face about 210 px wide at 640x480, the eye searches side by side or in
// turn.
void detectSideBySide(benchmark::State& state, const char* photoName, bool together) {
    Session ctx;
    if (ctx.init(QUEXAL_DATA_ROOT, 640, -480) != 1) {
        state.SkipWithError("init failed");
        return;
    }
    ctx.face.eyeSearchesTogether = together;
    const cv::Mat photo = cv::imread(std::string(QUEXAL_TEST_DATA) + "/" + photoName);
    cv::Mat scaled, frame(480, 640, CV_8UC3, cv::Scalar(90, 100, 110));
    const int h = 480 * 9 / 10, w = photo.cols * h / photo.rows;
    cv::resize(photo, scaled, {w, h}, 0, 0, cv::INTER_LINEAR);
    scaled.copyTo(frame(cv::Rect((640 - w) / 2, (480 - h) / 2, w, h)));
    const auto frames = uncachedCopies(frame);
    std::size_t i = 0;
    int stage = 0;
    for (auto _ : state) {
        stage = ctx.face.detect(frames[i].data());
        i = (i + 1) % frames.size();
    }
    if (stage != 4) state.SkipWithError("no face and eyes found");
    state.counters["face_px"] = ctx.face.faceRight - ctx.face.faceLeft;
}

void stockFaceSearch(benchmark::State& state, FrameSize size) {
    OneThread one;
    cv::CascadeClassifier cascade;
    if (!cascade.load(std::string(QUEXAL_DATA_ROOT) + "/QXdata/haarcascade_frontalface_alt.xml")) {
        state.SkipWithError("cascade missing");
        return;
    }
    cv::Mat gray;
    cv::cvtColor(closeUp(size.width, size.height), gray, cv::COLOR_BGR2GRAY);
    std::vector<cv::Rect> faces;
    for (auto _ : state) {
        cascade.detectMultiScale(gray, faces, 1.1, 3, 0, cv::Size(size.width / 6, size.height / 6));
        benchmark::DoNotOptimize(faces.data());
    }
    if (faces.empty()) state.SkipWithError("stock search found no face");
    reportFrames(state, gray.total() * 3);
}

// The two inputs of a detection that cost the most: an eye crop of the
// close-up, enlarged twice as the eye search does, and the whole grey
// frame for the face search.
struct CascadeCase {
    const char* name;
    const char* cascade;
    double scaleStep;
};

const CascadeCase kEyeCase{"eye_crop", "eye_8.xml", 1.1};
const CascadeCase kFaceCase{"face_frame", "haarcascade_frontalface_alt.xml", 1.5};

cv::Mat cascadeInput(const CascadeCase& c) {
    cv::Mat gray;
    cv::cvtColor(closeUp(640, 480), gray, cv::COLOR_BGR2GRAY);
    if (&c == &kFaceCase) return gray;
    cv::CascadeClassifier faces(std::string(QUEXAL_DATA_ROOT) + "/QXdata/" + kFaceCase.cascade);
    std::vector<cv::Rect> found;
    faces.detectMultiScale(gray, found, 1.1, 3, 0, {100, 100});
    if (found.empty()) return {};
    const cv::Rect face = found[0];
    const cv::Rect band(face.x, face.y + face.height / 5, face.width / 2, face.height * 3 / 10);
    cv::Mat large;
    cv::resize(gray(band), large, band.size() * 2, 0, 0, cv::INTER_AREA);
    return large;
}

cv::Size minWindowOf(const CascadeCase& c, const cv::Mat& image) {
    return &c == &kFaceCase ? cv::Size(image.cols / 6, image.rows / 6) : cv::Size(8, 8);
}

// One scan of the case's input: ours, or OpenCV's classifier as the peer.
void scanOnce(HaarCascade& cascade, const cv::Mat& image, const CascadeCase& c,
              std::vector<cv::Rect>& windows) {
    cascade.detectRaw(image, c.scaleStep, minWindowOf(c, image), windows);
}
void scanOnce(cv::CascadeClassifier& cascade, const cv::Mat& image, const CascadeCase& c,
              std::vector<cv::Rect>& windows) {
    cascade.detectMultiScale(image, windows, c.scaleStep, 0, 0, minWindowOf(c, image));
}

template <class Cascade>
void cascadeScan(benchmark::State& state, const CascadeCase& c) {
    OneThread one;
    Cascade cascade;
    const cv::Mat image = cascadeInput(c);
    if (!cascade.load(std::string(QUEXAL_DATA_ROOT) + "/QXdata/" + c.cascade) || image.empty()) {
        state.SkipWithError("cascade or input missing");
        return;
    }
    std::vector<cv::Rect> windows;
    for (auto _ : state) {
        scanOnce(cascade, image, c, windows);
        benchmark::DoNotOptimize(windows.data());
    }
    state.counters["windows"] = static_cast<double>(windows.size());
    state.counters["width"] = image.cols;
    state.counters["height"] = image.rows;
}

const bool registered = [] {
    for (const CascadeCase* c : {&kEyeCase, &kFaceCase}) {
        const std::string subject = std::string("face/haar_cascade/") + c->name;
        const std::string peer = std::string("face/opencv_cascade/") + c->name;
        benchmark::RegisterBenchmark(subject.c_str(),
                                     [c](benchmark::State& s) { cascadeScan<HaarCascade>(s, *c); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            peer.c_str(), [c](benchmark::State& s) { cascadeScan<cv::CascadeClassifier>(s, *c); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        pairWithPeer(subject, peer);
    }
    for (const char* photo : {"astronaut_320x240.png", "solvay_face_320x240.png"})
        for (bool together : {false, true}) {
            const std::string name = std::string("face/detect_default_threads/") +
                                     (together ? "together/" : "in_turn/") + photo;
            benchmark::RegisterBenchmark(
                name.c_str(),
                [photo, together](benchmark::State& s) { detectSideBySide(s, photo, together); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    for (const FrameSize& size : kFaceSizes) {
        const std::string peer = std::string("face/opencv_detectMultiScale/") + size.name;
        benchmark::RegisterBenchmark(peer.c_str(),
                                     [size](benchmark::State& s) { stockFaceSearch(s, size); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        for (auto [name, run] : {std::pair{"detect", &detectOnce}, {"track", &trackOnce}}) {
            const std::string subject = std::string("face/") + name + "/" + size.name;
            benchmark::RegisterBenchmark(subject.c_str(),
                                         [size, run = run](benchmark::State& s) { run(s, size); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            pairWithPeer(subject, peer);
        }
    }
    return true;
}();

}  // namespace
}  // namespace quexal::bench
