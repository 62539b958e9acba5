// Running real pipelines over the plugin, and the library's own answer for
// the same frames to hold them against.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quexal/quexal.hpp"

namespace gsttest {

// A packed BGR frame, top row first.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Frame&) const = default;
};

// Raw BGR caps of a size at 30 frames a second.
std::string bgrCaps(int width, int height);

// A pipeline from gst-launch syntax, stopped and freed when it goes.
class Pipeline {
public:
    explicit Pipeline(const std::string& description);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    bool valid() const { return pipeline_ != nullptr; }
    // The named element; the pipeline keeps it alive.
    GstElement* element(const char* name);
    void start();
    // Plays to the end of the stream; answers the first error's message
    // and debug text, empty when the stream ended without one.
    std::string playToEnd();
    // What the named appsink received, once the stream has ended.
    std::vector<Frame> frames(const char* sink);

private:
    GstElement* pipeline_ = nullptr;
    std::vector<GstElement*> named_;
};

Frame toFrame(GstSample* sample);
// A buffer laid out as GStreamer lays the frame out (rows padded), with
// caps at the given frame rate.
GstSample* toSample(const Frame& frame, int framesPerSecond = 30);

// Each frame through one session of the library, initialised again
// whenever the size changes, as the elements do. `prepare` runs after each
// initialisation with the first frame of that size.
using Effect = std::function<int32_t(quexal::Session&, uint8_t* frame)>;
using Prepare = std::function<void(quexal::Session&, const Frame& first)>;
std::vector<Frame> throughLibrary(const std::vector<Frame>& input, const Effect& effect,
                                  const Prepare& prepare = {});

// A BGRA picture registered as the mask elements register it: the file's,
// or a clear one of the kind's size when path is empty.
void registerMaskPicture(quexal::Session& session, const std::string& path, quexal::MaskKind kind);

// The reference picture stretched to the frame, as quexalbackground does.
void snapshotPicture(quexal::Session& session, const std::string& path, int width, int height);
void setBackgroundPicture(quexal::Session& session, const std::string& path);

std::string sourceFile(const std::string& relative);

}  // namespace gsttest
