// Background replacement of one frame: segmentation, the video frame of a
// video source, and the composite of camera, background and halo.
#include "background/compositing.h"

#include <cmath>
#include <cstring>
#include <new>

#include <opencv2/imgproc.hpp>

#include "background/background.h"
#include "background/video/video_reader.h"
#include "core/numeric.h"
#include "quexal/quexal.h"

namespace quexal {
namespace bkg {
namespace {

constexpr double kPi = 3.141592653589793;

EdgeTable buildEdgeTable() {
    EdgeTable table;
    for (int m = 1; m <= kFeatherBandEnd; ++m) {
        const float w = asFloat32(std::cos(kPi * m / 18.0));
        table.cameraWeight[m] = w;
        table.backgroundWeight[m] = asFloat32(1.0 - w);
    }
    for (int m = 1; m <= kHaloBandEnd; ++m) {
        const float s = asFloat32(std::sin(kPi * m / 30.0));
        table.haloAlpha[m] = static_cast<uint8_t>(truncToInt(255.0 * s));
    }
    return table;
}

// Blend weights per alpha: f = float(a / 255.0), g = float(1 - f).
struct AlphaWeights {
    float layer[256];
    float image[256];
};

AlphaWeights buildAlphaWeights() {
    AlphaWeights weights;
    for (int a = 0; a < 256; ++a) {
        weights.layer[a] = asFloat32(a / 255.0);
        weights.image[a] = asFloat32(1.0 - weights.layer[a]);
    }
    return weights;
}

}  // namespace

const EdgeTable& edgeTable() {
    static const EdgeTable table = buildEdgeTable();
    return table;
}

namespace {

// End of the run of pixels from `i` whose matte value `keep` accepts.
template <typename Keep>
int32_t runEnd(const uint8_t* matte, int32_t i, int32_t pixelCount, Keep keep) {
    while (i < pixelCount && keep(matte[i])) ++i;
    return i;
}

}  // namespace

// Runs of person (m 0) are copied in one block and runs of pure background
// skipped; only the edge band is worked pixel by pixel.
void compositeMatte(const uint8_t* matte, const uint8_t* camera, uint8_t* output,
                    int32_t pixelCount, bool halo, HaloColour colour, uint8_t* haloLayer) {
    const EdgeTable& table = edgeTable();
    const int bandEnd = halo ? kHaloBandEnd : kFeatherBandEnd;
    int32_t i = 0;
    while (i < pixelCount) {
        const int m = matte[i];
        if (m == 0) {
            const int32_t end = runEnd(matte, i, pixelCount, [](uint8_t v) { return v == 0; });
            std::memcpy(output + 3 * static_cast<std::size_t>(i),
                        camera + 3 * static_cast<std::size_t>(i),
                        3 * static_cast<std::size_t>(end - i));
            i = end;
            continue;
        }
        if (m > bandEnd) {
            // The background already in `output` stays.
            i = runEnd(matte, i, pixelCount, [bandEnd](uint8_t v) { return v > bandEnd; });
            continue;
        }
        const uint8_t* c = camera + 3 * static_cast<std::size_t>(i);
        uint8_t* o = output + 3 * static_cast<std::size_t>(i);
        if (halo) {
            if (m <= kFeatherBandEnd) o[0] = c[0], o[1] = c[1], o[2] = c[2];
            uint8_t* h = haloLayer + static_cast<std::size_t>(i) * 4;
            h[0] = colour.blue, h[1] = colour.green, h[2] = colour.red;
            h[3] = table.haloAlpha[m];
        } else {
            const float w = table.cameraWeight[m], v = table.backgroundWeight[m];
            o[0] = featherChannel(c[0], o[0], w, v);
            o[1] = featherChannel(c[1], o[1], w, v);
            o[2] = featherChannel(c[2], o[2], w, v);
        }
        ++i;
    }
}

void blendRgba(const uint8_t* layer, uint8_t* image, int32_t width, int32_t height) {
    if (layer == nullptr || image == nullptr || width <= 0 || height <= 0) return;
    static const AlphaWeights weights = buildAlphaWeights();
    const std::size_t count = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < count; ++i, layer += 4, image += 3) {
        const int a = layer[3];
        // Alpha 0 weighs the image by exactly 1 and the layer by 0.
        if (a == 0) continue;
        const double f = weights.layer[a], g = weights.image[a];
        image[0] = static_cast<uint8_t>(layer[0] * f + image[0] * g);
        image[1] = static_cast<uint8_t>(layer[1] * f + image[1] * g);
        image[2] = static_cast<uint8_t>(layer[2] * f + image[2] * g);
    }
}

}  // namespace bkg

// Brings the reader's latest frame into picture, top row first and
// stretched bilinearly to the frame size. Answers 1, -1 when the reader has
// no full frame to give, or 0 when the stretch could not be made.
int Background::fetchVideoFrame() {
    const int32_t size = video->grabFrame(videoBuffer);
    const std::size_t expected = static_cast<std::size_t>(videoWidth) * videoHeight * 3;
    if (size <= 0 || videoWidth <= 0 || videoHeight <= 0 || videoBuffer.size() < expected)
        return QX_BKG_NO_SOURCE;

    // Video frames arrive bottom row first.
    const cv::Mat frame(videoHeight, videoWidth, CV_8UC3, videoBuffer.data());
    if (videoWidth == geometry_.width && videoHeight == geometry_.height) {
        cv::flip(frame, picture, 0);
        return 1;
    }
    try {
        cv::flip(frame, videoFrame, 0);
        cv::resize(videoFrame, picture, picture.size(), 0, 0, cv::INTER_LINEAR);
    } catch (const std::bad_alloc&) {
        return QX_BKG_LITTLE_BACKGROUND;
    } catch (const cv::Exception&) {
        return QX_BKG_LITTLE_BACKGROUND;
    }
    return 1;
}

int Background::process(uint8_t* frame, int32_t halo, int32_t haloColor, int32_t cutLine) {
    if (state < kVideoSource) return state - 1;

    geometry_.frameToImage(frame, image);
    const double backgroundArea = segment(cutLine);

    if (halo) haloLayer.setTo(0);
    if (state == kVideoSource && video) {
        const int fetched = fetchVideoFrame();
        if (fetched != 1) return fetched;
    }
    // With a still picture, or a video source whose reader was removed,
    // `picture` already holds the background.

    // Row by row straight into the host's rows: the background, the camera
    // through the matte, then the halo.
    const int32_t pixels = geometry_.pixelCount;
    const int32_t width = geometry_.width;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const bkg::HaloColour colour = bkg::haloColourFrom(static_cast<uint32_t>(haloColor));
    for (int y = 0; y < geometry_.height; ++y) {
        const int hostRow = geometry_.reverseRows ? geometry_.height - 1 - y : y;
        uint8_t* out = frame + hostRow * rowBytes;
        std::memcpy(out, picture.ptr<uint8_t>(y), rowBytes);
        bkg::compositeMatte(mask.ptr<uint8_t>(y), image.ptr<uint8_t>(y), out, width, halo != 0,
                            colour, haloLayer.ptr<uint8_t>(y));
        if (halo) bkg::blendRgba(haloLayer.ptr<uint8_t>(y), out, width, 1);
    }
    return bkg::enoughBackground(backgroundArea, pixels) ? QX_DONE : QX_BKG_LITTLE_BACKGROUND;
}

}  // namespace quexal
