// Face mask: whole _QX_process_mask frames on the portrait (tracked, and with
// a detection), and the two drawing kernels alone, each beside a stock-OpenCV
// peer doing the nearest equivalent job.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_faces.h"
#include "bench_support.h"
#include "mask/mask_placement.h"
#include "mask/mask_rendering.h"
#include "quexal/quexal.h"
#include "session/session.h"

namespace quexal::bench {
namespace {

constexpr FrameSize kMaskSizes[] = {{640, 480, "640x480"}, {1280, 720, "1280x720"}};

// Runs a scope on one OpenCV thread: the goals are per core.
class OneThread {
public:
    OneThread() : saved_(cv::getNumThreads()) { cv::setNumThreads(1); }
    ~OneThread() { cv::setNumThreads(saved_); }
    OneThread(const OneThread&) = delete;
    OneThread& operator=(const OneThread&) = delete;

private:
    int saved_;
};

cv::Mat photo() {
    return cv::imread(std::string(QUEXAL_TEST_DATA) + "/astronaut_320x240.png", cv::IMREAD_COLOR);
}

// The portrait enlarged to the frame height and centred, sides replicated:
// a person close to the camera. Top row first.
cv::Mat closeUp(int width, int height) {
    const cv::Mat p = photo();
    if (p.empty()) return {};
    cv::Mat scaled, framed;
    const int scaledWidth = p.cols * height / p.rows;
    cv::resize(p, scaled, cv::Size(scaledWidth, height), 0, 0, cv::INTER_LINEAR);
    const int side = (width - scaledWidth) / 2;
    cv::copyMakeBorder(scaled, framed, 0, 0, side, width - scaledWidth - side,
                       cv::BORDER_REPLICATE);
    return framed;
}

// The portrait at its own size in the middle of the frame: a face small
// enough for the tracker's fixed pixel limits, too small for the face
// search's minimum window at these sizes.
cv::Mat distant(int width, int height) {
    const cv::Mat p = photo();
    if (p.empty()) return {};
    const int left = (width - p.cols) / 2, top = (height - p.rows) / 2;
    cv::Mat framed;
    cv::copyMakeBorder(p, framed, top, height - p.rows - top, left, width - p.cols - left,
                       cv::BORDER_REPLICATE);
    return framed;
}

// A 200 x 190 picture: an opaque band with soft edges, like glasses on a
// transparent ground.
std::vector<uint8_t> benchPicture() {
    std::vector<uint8_t> p(200 * 190 * 4);
    for (int r = 0; r < 190; ++r)
        for (int c = 0; c < 200; ++c) {
            uint8_t* px = &p[(r * 200 + c) * 4];
            px[0] = static_cast<uint8_t>(c);
            px[1] = static_cast<uint8_t>(r);
            px[2] = 90;
            const int edge = std::min(std::abs(r - 95), 60);
            px[3] = static_cast<uint8_t>(edge < 30 ? 255 : 255 - (edge - 30) * 8);
        }
    return p;
}

// Registers the picture through the export, or by hand while registration
// refuses.
void registerPicture(const std::vector<uint8_t>& picture, int32_t kind) {
    if (_QX_set_mask_image(picture.data(), 200, 190, kind, QX_MASK_MAGIC, 0, 0) == 1) return;
    Session& ctx = theContext();
    ctx.face.maskPixels = picture;
    ctx.face.maskWidth = 200;
    ctx.face.maskHeight = 190;
    ctx.face.maskKind = kind;
    ctx.face.maskAspect = static_cast<float>(200.0 / 190.0);
    ctx.status = 1;
    ctx.face.redetect = 1;
}

// Times whole frames through the export. Tracked: the distant portrait,
// the tracker seeded once, every timed frame a flow step and a draw (cold:
// resampling and turning the picture anew on every frame).
// Detecting: the close-up with a detection forced on every frame.
void maskFrames(benchmark::State& state, FrameSize size, int32_t mode, bool detectEveryFrame,
                bool cold) {
    const cv::Mat input =
        detectEveryFrame ? closeUp(size.width, size.height) : distant(size.width, size.height);
    if (input.empty() || _QX_init(QUEXAL_DATA_ROOT, size.width, -size.height, 0, 0) != 1) {
        state.SkipWithError("no portrait or no init");
        return;
    }
    registerPicture(benchPicture(), kMaskAboveFace);
    Session& ctx = theContext();
    if (!detectEveryFrame && !seedTrackerFromPhoto(ctx, photo())) {
        state.SkipWithError("no face found on the portrait");
        return;
    }

    const std::size_t bytes = input.total() * 3;
    std::vector<uint8_t> frame(bytes);
    std::memcpy(frame.data(), input.data, bytes);
    _QX_process_mask(frame.data(), mode, 0);  // detects, or seeds the tracker
    if (ctx.face.detectStage != 4 || ctx.face.redetect != 0) {
        state.SkipWithError("no face found on the portrait");
        return;
    }

    OneThread oneThread;
    for (auto _ : state) {
        std::memcpy(frame.data(), input.data, bytes);
        if (detectEveryFrame) ctx.face.redetect = 1;
        // A moving face changes the overlay's size or angle on most frames.
        if (cold) ctx.face.maskScratch.scaledValid = ctx.face.maskScratch.turnedValid = false;
        const auto start = std::chrono::steady_clock::now();
        _QX_process_mask(frame.data(), mode, 0);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    if (ctx.face.redetect != 0 || (!detectEveryFrame && ctx.face.trackState != 1))
        state.SkipWithError("the track was lost");
    reportFrames(state, bytes);
}

// Stock OpenCV doing a tracked picture frame's work: copy in, resample,
// turn, blend by alpha, copy out.
void opencvOverlayFrame(benchmark::State& state, FrameSize size) {
    const cv::Mat portrait = closeUp(size.width, size.height);
    const std::vector<uint8_t> pictureBytes = benchPicture();
    const cv::Mat picture(190, 200, CV_8UC4, const_cast<uint8_t*>(pictureBytes.data()));
    cv::Mat frame = portrait.clone(), work(portrait.size(), CV_8UC3), scaled, turned, bgr, alpha,
            weights, inverse, blended;
    const int g = rotatedCanvasSide(200, 0.1f);
    const cv::Rect where(size.width / 2 - g / 2, size.height / 4 - g / 2, g, g);
    OneThread oneThread;
    for (auto _ : state) {
        portrait.copyTo(frame);
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(work.data, frame.data, frame.total() * 3);
        cv::resize(picture, scaled, cv::Size(200, 189), 0, 0, cv::INTER_AREA);
        cv::copyMakeBorder(scaled, scaled, (g - 189) / 2, g - 189 - (g - 189) / 2, (g - 200) / 2,
                           g - 200 - (g - 200) / 2, cv::BORDER_CONSTANT, 0);
        cv::warpAffine(scaled, turned, cv::getRotationMatrix2D({g / 2.f, g / 2.f}, 5.7, 1.0),
                       scaled.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
        cv::cvtColor(turned, bgr, cv::COLOR_BGRA2BGR);
        cv::extractChannel(turned, alpha, 3);
        alpha.convertTo(weights, CV_32F, 1.0 / 255);
        cv::subtract(1.0, weights, inverse);
        cv::blendLinear(bgr, work(where), weights, inverse, blended);
        blended.copyTo(work(where));
        std::memcpy(frame.data, work.data, frame.total() * 3);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    reportFrames(state, frame.total() * 3);
}

// drawMask alone on a working image: 200 x 190 picture to about 200 x 189
// turned by 0.1, the overlay of a tracked kind-1 frame. Warm: the same
// overlay every frame, as for a face held still. Cold: the size changes
// every frame, so each one resamples and turns anew.
void drawKernel(benchmark::State& state, FrameSize size, bool cold) {
    const cv::Mat portrait = closeUp(size.width, size.height);
    cv::Mat image = portrait.clone();
    const std::vector<uint8_t> picture = benchPicture();
    MaskScratch scratch;
    int32_t frame = 0;
    OneThread oneThread;
    for (auto _ : state) {
        const int32_t shrink = cold ? (frame++ & 1) * 4 : 0;
        drawMask(picture.data(), image.data, 200, 190, size.width / 2 - 100, size.height / 4,
                 200 - shrink, 189 - shrink, 0.1f, size.width, size.height, scratch);
        benchmark::ClobberMemory();
    }
    reportFrames(state, image.total() * 3);
}

// obscureRegion alone over a 110 x 46 eye band.
void obscureKernel(benchmark::State& state, FrameSize size, int32_t mode) {
    cv::Mat image = closeUp(size.width, size.height);
    cv::Mat scratch;
    const int32_t strength = mode == kPixelateMode ? kPixelateStrength : kBlurStrength;
    OneThread oneThread;
    for (auto _ : state) {
        obscureRegion(image, mode, strength, size.width / 2 - 55, size.height / 3, 110, 46,
                      size.width, size.height, scratch);
        benchmark::ClobberMemory();
    }
    reportFrames(state, image.total() * 3);
}

// Stock peers of the band: a box blur of the band, and a mosaic by area
// reduction and nearest enlargement.
void opencvBand(benchmark::State& state, FrameSize size, int32_t mode) {
    cv::Mat image = closeUp(size.width, size.height), small, region;
    const cv::Rect band(size.width / 2 - 55, size.height / 3, 104, 40);
    OneThread oneThread;
    for (auto _ : state) {
        region = image(band).clone();
        if (mode == kPixelateMode) {
            cv::resize(region, small, cv::Size(13, 5), 0, 0, cv::INTER_AREA);
            cv::resize(small, region, band.size(), 0, 0, cv::INTER_NEAREST);
        } else {
            cv::blur(region, region, cv::Size(15, 15), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        }
        region.copyTo(image(band));
        benchmark::ClobberMemory();
    }
    reportFrames(state, image.total() * 3);
}

void registerFrame(const std::string& name, FrameSize size, int32_t mode, bool detect, bool cold,
                   const std::string& peer) {
    benchmark::RegisterBenchmark(
        name.c_str(), [=](benchmark::State& s) { maskFrames(s, size, mode, detect, cold); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    if (!peer.empty()) pairWithPeer(name, peer);
}

const bool registered = [] {
    for (const FrameSize& size : kMaskSizes) {
        const std::string at = std::string("/") + size.name;
        const std::string overlayPeer = "mask/opencv-overlay" + at;
        registerFrame("mask/tracked-picture" + at, size, 0, false, false, overlayPeer);
        registerFrame("mask/tracked-picture-cold" + at, size, 0, false, true, overlayPeer);
        registerFrame("mask/tracked-pixelate" + at, size, kPixelateMode, false, false, "");
        registerFrame("mask/tracked-blur" + at, size, kBlurMode, false, false, "");
        registerFrame("mask/detect-picture" + at, size, 0, true, false, overlayPeer);

        benchmark::RegisterBenchmark(overlayPeer.c_str(),
                                     [=](benchmark::State& s) { opencvOverlayFrame(s, size); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
        benchmark::RegisterBenchmark(("mask/draw-warm" + at).c_str(), [=](benchmark::State& s) {
            drawKernel(s, size, false);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("mask/draw-cold" + at).c_str(), [=](benchmark::State& s) {
            drawKernel(s, size, true);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("mask/pixelate" + at).c_str(), [=](benchmark::State& s) {
            obscureKernel(s, size, 1);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("mask/blur" + at).c_str(), [=](benchmark::State& s) {
            obscureKernel(s, size, 2);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("mask/opencv-mosaic" + at).c_str(), [=](benchmark::State& s) {
            opencvBand(s, size, 1);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("mask/opencv-blur" + at).c_str(), [=](benchmark::State& s) {
            opencvBand(s, size, 2);
        })->Unit(benchmark::kMicrosecond);
        pairWithPeer("mask/draw-warm" + at, overlayPeer);
        pairWithPeer("mask/draw-cold" + at, overlayPeer);
        pairWithPeer("mask/pixelate" + at, "mask/opencv-mosaic" + at);
        pairWithPeer("mask/blur" + at, "mask/opencv-blur" + at);
    }
    return true;
}();

}  // namespace
}  // namespace quexal::bench
