// What the elements cost beyond the library, and whether a live 720p
// camera at 30 frames a second keeps up. Run it through gst/bench/run.sh
// (one core, the build-tree plugin).
//
// 1. Overhead: the same 1280x720 frames go once straight through a session
//    and once through appsrc ! ELEMENT ! fakesink sync=false (buffers made
//    before the clock starts, so neither side pays for producing them).
//    The best of several rounds of each is compared.
// 2. Live: videotestsrc is-live=true at 30 frames a second through the
//    element; the frames a second delivered, and the time the element spent
//    on a frame against the 33 ms a frame has.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "quexal/quexal.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using Frame = std::vector<uint8_t>;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 3;
constexpr int kFrames = 60;
constexpr int kRounds = 5;
constexpr int kLiveFrames = 150;  // five seconds at 30 frames a second

const std::string kCaps = "video/x-raw,format=BGR,width=1280,height=720,framerate=30/1";
const std::string kDataDir = QUEXAL_DATA_ROOT;
const std::string kSourceDir = QUEXAL_SOURCE_DIR;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

GstElement* launch(const std::string& description) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        std::fprintf(stderr, "cannot build %s: %s\n", description.c_str(), error->message);
        std::exit(1);
    }
    return pipeline;
}

// Plays to the end, where it stays; exits on an error.
void playToEnd(GstElement* pipeline) {
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, GST_CLOCK_TIME_NONE, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        std::fprintf(stderr, "pipeline error: %s\n", error->message);
        std::exit(1);
    }
    gst_message_unref(message);
}

void release(GstElement* pipeline) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// The input frames, produced by a pipeline ending in BGR 1280x720 caps.
std::vector<Frame> capture(const std::string& head) {
    GstElement* pipeline =
        launch(head + " ! " + kCaps + " ! appsink name=out sync=false wait-on-eos=false");
    playToEnd(pipeline);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    std::vector<Frame> frames;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0)) {
        GstMapInfo map;
        gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
        frames.emplace_back(map.data, map.data + kFrameBytes);  // 3840-byte rows: packed
        gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
        gst_sample_unref(sample);
    }
    gst_object_unref(sink);
    release(pipeline);
    return frames;
}

std::string movingPicture() {
    return "videotestsrc num-buffers=" + std::to_string(kFrames) +
           " pattern=ball background-color=0xff3060a0";
}

std::string stillPicture(const std::string& png) {
    return "filesrc location=" + kSourceDir + "/" + png +
           " ! pngdec ! imagefreeze num-buffers=" + std::to_string(kFrames) +
           " ! videoconvert ! videoscale";
}

struct Case {
    const char* name;
    std::string element;
    std::string input;
    std::function<void(quexal::Session&)> prepare;  // after init, before the first frame
    std::function<int32_t(quexal::Session&, uint8_t*)> effect;
};

void setPicture(quexal::Session& s, const std::string& png, bool reference) {
    cv::Mat picture = cv::imread(kSourceDir + "/" + png, cv::IMREAD_COLOR);
    if (!reference) {
        s.setBackgroundPicture(picture.data, picture.cols, picture.rows);
        return;
    }
    cv::resize(picture, picture, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_AREA);
    s.snapshot(picture.data, kWidth, kHeight);
}

std::vector<Case> cases() {
    const std::string hat = kSourceDir + "/data/masks/hat_200x190.png";
    return {
        {"quexalcolour",
         "quexalcolour mode=sepia",
         movingPicture(),
         {},
         [](quexal::Session& s, uint8_t* f) { return s.colour(f, quexal::Colour::Sepia); }},
        {"quexallens",
         "quexallens mode=bulge",
         movingPicture(),
         {},
         [](quexal::Session& s, uint8_t* f) { return s.lens(f, quexal::Lens::Bulge); }},
        {"quexalfire",
         "quexalfire",
         movingPicture(),
         {},
         [](quexal::Session& s, uint8_t* f) { return s.fire(f); }},
        {"quexalmask", "quexalmask picture=" + hat + " kind=1",
         stillPicture("tests/data/solvay_face_320x240.png"),
         [hat](quexal::Session& s) {
             const cv::Mat picture = cv::imread(hat, cv::IMREAD_UNCHANGED);
             s.setMaskPicture(picture.data, picture.cols, picture.rows,
                              quexal::MaskKind::AboveFace);
         },
         [](quexal::Session& s, uint8_t* f) { return s.mask(f); }},
        {"quexalbackground",
         "quexalbackground source=" + kSourceDir + "/data/sample/coffee_320x240.png reference=" +
             kSourceDir + "/data/sample/rocket_320x240.png",
         stillPicture("data/sample/astronaut_320x240.png"),
         [](quexal::Session& s) {
             setPicture(s, "data/sample/rocket_320x240.png", true);
             setPicture(s, "data/sample/coffee_320x240.png", false);
         },
         [](quexal::Session& s, uint8_t* f) { return static_cast<int32_t>(s.background(f)); }},
    };
}

// Seconds for the frames straight through a fresh session.
double directRun(const Case& c, const std::vector<Frame>& frames) {
    std::vector<Frame> work = frames;
    quexal::Session session;
    if (!session.init(kDataDir.c_str(), kWidth, kHeight, quexal::RowOrder::TopDown)) std::exit(1);
    if (c.prepare) c.prepare(session);
    const auto start = Clock::now();
    for (Frame& f : work) c.effect(session, f.data());
    return seconds(Clock::now() - start);
}

// Times taken at the element's two pads: it works in place on the
// streaming thread, so a buffer leaves it on the thread it came in on.
struct ElementClock {
    Clock::time_point entered;
    Clock::time_point firstEntered;
    Clock::time_point lastLeft;
    double busy = 0;
    int frames = 0;

    double span() const { return seconds(lastLeft - firstEntered); }
};

GstPadProbeReturn onEnter(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* clock = static_cast<ElementClock*>(data);
    clock->entered = Clock::now();
    if (clock->frames == 0) clock->firstEntered = clock->entered;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn onLeave(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* clock = static_cast<ElementClock*>(data);
    clock->lastLeft = Clock::now();
    clock->busy += seconds(clock->lastLeft - clock->entered);
    ++clock->frames;
    return GST_PAD_PROBE_OK;
}

// Plays the pipeline to its end with the clock on the element named effect.
ElementClock playTimed(GstElement* pipeline) {
    GstElement* effect = gst_bin_get_by_name(GST_BIN(pipeline), "effect");
    ElementClock clock;
    GstPad* sink = gst_element_get_static_pad(effect, "sink");
    GstPad* src = gst_element_get_static_pad(effect, "src");
    gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_BUFFER, onEnter, &clock, nullptr);
    gst_pad_add_probe(src, GST_PAD_PROBE_TYPE_BUFFER, onLeave, &clock, nullptr);
    playToEnd(pipeline);
    gst_object_unref(sink);
    gst_object_unref(src);
    gst_object_unref(effect);
    return clock;
}

// Seconds for the frames through a fresh pipeline, from the first buffer
// reaching the element to the last leaving it: the session's set-up (the
// cascades read at init) stays out, as it does for the direct run.
double pipelineRun(const Case& c, const std::vector<Frame>& frames) {
    GstElement* pipeline = launch("appsrc name=src format=time max-bytes=0 caps=" + kCaps + " ! " +
                                  c.element + " name=effect ! fakesink sync=false");
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    for (const Frame& f : frames) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kFrameBytes, nullptr);
        gst_buffer_fill(buffer, 0, f.data(), kFrameBytes);
        gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src));
    gst_object_unref(src);
    const ElementClock clock = playTimed(pipeline);
    release(pipeline);
    return clock.span();
}

void overhead(const Case& c) {
    const std::vector<Frame> frames = capture(c.input);
    if (frames.size() != kFrames) {
        std::fprintf(stderr, "%s: captured %zu frames of %d\n", c.name, frames.size(), kFrames);
        std::exit(1);
    }
    double direct = 1e9, piped = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        direct = std::min(direct, directRun(c, frames));
        piped = std::min(piped, pipelineRun(c, frames));
    }
    const double n = static_cast<double>(frames.size());
    std::printf("%-18s %9.2f %9.2f %+9.1f %%\n", c.name, 1e3 * direct / n, 1e3 * piped / n,
                100.0 * (piped - direct) / direct);
}

void live(const Case& c) {
    GstElement* pipeline =
        launch("videotestsrc is-live=true pattern=ball num-buffers=" + std::to_string(kLiveFrames) +
               " ! " + kCaps + " ! " + c.element + " name=effect ! fakesink sync=false");
    const ElementClock clock = playTimed(pipeline);
    release(pipeline);
    const double perFrame = clock.frames > 0 ? clock.busy / clock.frames : 0;
    const double framesPerSecond = clock.frames > 1 ? (clock.frames - 1) / clock.span() : 0;
    std::printf("%-18s %7.1f fps %9.2f ms a frame %6.0f %% of the 33.3 ms budget\n", c.name,
                framesPerSecond, 1e3 * perFrame, 100.0 * perFrame * 30.0);
}

}  // namespace

int main(int argc, char** argv) {
    g_setenv("GST_PLUGIN_PATH", QUEXAL_GST_PLUGIN_DIR, FALSE);
    gst_init(&argc, &argv);
    const std::vector<Case> all = cases();

    std::printf("Overhead at %dx%d, %d frames, best of %d (ms a frame)\n", kWidth, kHeight, kFrames,
                kRounds);
    std::printf("%-18s %9s %9s %11s\n", "element", "library", "pipeline", "overhead");
    for (const Case& c : all) overhead(c);

    std::printf("\nLive camera: videotestsrc is-live=true, %dx%d at 30 fps, %d frames\n", kWidth,
                kHeight, kLiveFrames);
    for (const Case& c : all) live(c);
    return 0;
}
