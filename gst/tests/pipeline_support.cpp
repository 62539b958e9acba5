#include "pipeline_support.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace gsttest {

namespace {

constexpr GstClockTime kStreamTimeout = 120 * GST_SECOND;

}  // namespace

std::string bgrCaps(int width, int height) {
    return "video/x-raw,format=BGR,width=" + std::to_string(width) +
           ",height=" + std::to_string(height) + ",framerate=30/1";
}

Pipeline::Pipeline(const std::string& description) {
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        ADD_FAILURE() << "cannot build \"" << description << "\": " << error->message;
        g_clear_error(&error);
        if (pipeline_ != nullptr) gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}

Pipeline::~Pipeline() {
    for (GstElement* e : named_) gst_object_unref(e);
    if (pipeline_ == nullptr) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
}

GstElement* Pipeline::element(const char* name) {
    GstElement* e = gst_bin_get_by_name(GST_BIN(pipeline_), name);
    if (e != nullptr) named_.push_back(e);
    return e;
}

void Pipeline::start() {
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

std::string Pipeline::playToEnd() {
    start();
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, kStreamTimeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    if (message == nullptr) return "no end of stream within the timeout";
    std::string text;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        text = std::string(error->message) + " | " + (debug != nullptr ? debug : "");
        g_clear_error(&error);
        g_free(debug);
    }
    gst_message_unref(message);
    return text;
}

std::vector<Frame> Pipeline::frames(const char* sink) {
    std::vector<Frame> out;
    GstElement* appsink = element(sink);
    if (appsink == nullptr) {
        ADD_FAILURE() << "no element " << sink;
        return out;
    }
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(appsink), 0)) {
        out.push_back(toFrame(sample));
        gst_sample_unref(sample);
    }
    return out;
}

Frame toFrame(GstSample* sample) {
    Frame frame;
    GstVideoInfo info;
    GstVideoFrame mapped;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        !gst_video_frame_map(&mapped, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
        ADD_FAILURE() << "cannot map a sample";
        return frame;
    }
    frame.width = GST_VIDEO_INFO_WIDTH(&info);
    frame.height = GST_VIDEO_INFO_HEIGHT(&info);
    const size_t row = static_cast<size_t>(frame.width) * 3;
    const size_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0);
    const auto* pixels = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
    frame.bytes.resize(row * frame.height);
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(&frame.bytes[y * row], pixels + y * stride, row);
    gst_video_frame_unmap(&mapped);
    return frame;
}

GstSample* toSample(const Frame& frame, int framesPerSecond) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGR, frame.width, frame.height);
    GST_VIDEO_INFO_FPS_N(&info) = framesPerSecond;
    GST_VIDEO_INFO_FPS_D(&info) = 1;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstVideoFrame mapped;
    gst_video_frame_map(&mapped, &info, buffer, GST_MAP_WRITE);
    const size_t row = static_cast<size_t>(frame.width) * 3;
    auto* pixels = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(pixels + y * GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0), &frame.bytes[y * row],
                    row);
    gst_video_frame_unmap(&mapped);
    GstCaps* caps = gst_video_info_to_caps(&info);
    GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_caps_unref(caps);
    gst_buffer_unref(buffer);
    return sample;
}

std::vector<Frame> throughLibrary(const std::vector<Frame>& input, const Effect& effect,
                                  const Prepare& prepare) {
    std::vector<Frame> out;
    quexal::Session session;
    int width = 0, height = 0;
    for (const Frame& in : input) {
        if (in.width != width || in.height != height) {
            width = in.width;
            height = in.height;
            EXPECT_TRUE(session.init(QUEXAL_DATA_ROOT, width, height, quexal::RowOrder::TopDown));
            if (prepare) prepare(session, in);
        }
        Frame frame = in;
        effect(session, frame.bytes.data());
        out.push_back(std::move(frame));
    }
    return out;
}

void registerMaskPicture(quexal::Session& session, const std::string& path, quexal::MaskKind kind) {
    const bool large = kind != quexal::MaskKind::BelowEyes && kind != quexal::MaskKind::OnEyes;
    cv::Mat picture = path.empty() ? cv::Mat::zeros(large ? 190 : 90, large ? 200 : 100, CV_8UC4)
                                   : cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(picture.type(), CV_8UC4) << path;
    ASSERT_EQ(session.setMaskPicture(picture.data, picture.cols, picture.rows, kind), QX_DONE);
}

void snapshotPicture(quexal::Session& session, const std::string& path, int width, int height) {
    cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_FALSE(picture.empty()) << path;
    if (picture.size() != cv::Size(width, height))
        cv::resize(picture, picture, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    ASSERT_EQ(session.snapshot(picture.data, width, height), QX_DONE);
}

void setBackgroundPicture(quexal::Session& session, const std::string& path) {
    const cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_FALSE(picture.empty()) << path;
    ASSERT_EQ(session.setBackgroundPicture(picture.data, picture.cols, picture.rows), QX_DONE);
}

std::string sourceFile(const std::string& relative) {
    return std::string(QUEXAL_SOURCE_DIR) + "/" + relative;
}

}  // namespace gsttest
