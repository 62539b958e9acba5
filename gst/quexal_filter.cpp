// The base of every Quexal element: session lifetime, size negotiation and
// the copy through a packed frame for padded rows.
#include "quexal_filter.h"

#include <cstring>

GST_DEBUG_CATEGORY_STATIC(gst_quexal_filter_debug);
#define GST_CAT_DEFAULT gst_quexal_filter_debug

namespace {

// The library works on packed 24-bit BGR; any size, any frame rate.
const gchar kCaps[] = GST_VIDEO_CAPS_MAKE("BGR");

struct GstQuexalFilterPrivate {
    QxSession* session;
    gint width;
    gint height;
    // Frames whose rows are padded (GStreamer pads every row to a multiple
    // of 4 bytes) go through this packed copy; null while rows are packed.
    guint8* packed;
};

}  // namespace

G_DEFINE_ABSTRACT_TYPE_WITH_PRIVATE(GstQuexalFilter, gst_quexal_filter, GST_TYPE_VIDEO_FILTER)

static GstQuexalFilterPrivate* private_of(GstQuexalFilter* filter) {
    return static_cast<GstQuexalFilterPrivate*>(gst_quexal_filter_get_instance_private(filter));
}

static void release_session(GstQuexalFilterPrivate* priv) {
    qx_session_destroy(priv->session);
    priv->session = nullptr;
    g_clear_pointer(&priv->packed, g_free);
    priv->width = priv->height = 0;
}

static gboolean gst_quexal_filter_start(GstBaseTransform* trans) {
    GstQuexalFilterPrivate* priv = private_of(GST_QUEXAL_FILTER(trans));
    release_session(priv);
    priv->session = qx_session_create();
    if (priv->session == nullptr) {
        GST_ELEMENT_ERROR(trans, RESOURCE, FAILED, ("Out of memory for an effect session"),
                          (nullptr));
        return FALSE;
    }
    return TRUE;
}

static gboolean gst_quexal_filter_stop(GstBaseTransform* trans) {
    release_session(private_of(GST_QUEXAL_FILTER(trans)));
    return TRUE;
}

static void gst_quexal_filter_finalize(GObject* object) {
    release_session(private_of(GST_QUEXAL_FILTER(object)));
    G_OBJECT_CLASS(gst_quexal_filter_parent_class)->finalize(object);
}

// A new size (the first caps or a caps change): the session starts over
// at that size, its rows top first as GStreamer lays them out. New caps of
// the same size (another frame rate, say) keep the session: starting over
// would drop the background's empty scene and the fire's animation.
static gboolean gst_quexal_filter_set_info(GstVideoFilter* video, GstCaps*, GstVideoInfo* in_info,
                                           GstCaps*, GstVideoInfo*) {
    GstQuexalFilter* filter = GST_QUEXAL_FILTER(video);
    GstQuexalFilterPrivate* priv = private_of(filter);
    const gint width = GST_VIDEO_INFO_WIDTH(in_info);
    const gint height = GST_VIDEO_INFO_HEIGHT(in_info);
    if (width == priv->width && height == priv->height) return TRUE;

    gchar* data = gst_quexal_data_folder();
    const gint32 code = qx_init(priv->session, data, width, -height, 0, 0);
    if (code != QX_DONE) {
        GST_ELEMENT_ERROR(filter, LIBRARY, INIT,
                          ("Cannot prepare the effect for %dx%d frames", width, height),
                          ("qx_init answered %d; the face cascades are looked for in %s/QXdata "
                           "(set QUEXAL_DATA to the folder holding QXdata)",
                           code, data));
        g_free(data);
        priv->width = priv->height = 0;  // nothing is ready: the next caps try again
        return FALSE;
    }
    GST_DEBUG_OBJECT(filter, "session ready for %dx%d, data from %s", width, height, data);
    g_free(data);

    priv->width = width;
    priv->height = height;
    g_clear_pointer(&priv->packed, g_free);  // made at the first padded frame

    GstQuexalFilterClass* klass = GST_QUEXAL_FILTER_GET_CLASS(filter);
    if (klass->size_changed != nullptr) klass->size_changed(filter);
    return TRUE;
}

static void copy_rows(guint8* dst, gsize dst_stride, const guint8* src, gsize src_stride,
                      gsize row_bytes, gint rows) {
    for (gint y = 0; y < rows; ++y)
        std::memcpy(dst + y * dst_stride, src + y * src_stride, row_bytes);
}

// Packed rows go to the library in place; padded ones through the packed
// copy, written back only when the effect ran.
static GstFlowReturn gst_quexal_filter_transform_frame_ip(GstVideoFilter* video,
                                                          GstVideoFrame* frame) {
    GstQuexalFilter* filter = GST_QUEXAL_FILTER(video);
    GstQuexalFilterPrivate* priv = private_of(filter);
    GstQuexalFilterClass* klass = GST_QUEXAL_FILTER_GET_CLASS(filter);
    guint8* pixels = static_cast<guint8*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    const gsize stride = GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0);
    const gsize packed_row = static_cast<gsize>(priv->width) * 3;

    if (stride == packed_row) return klass->process(filter, pixels);

    if (priv->packed == nullptr)
        priv->packed = static_cast<guint8*>(g_malloc(packed_row * priv->height));
    copy_rows(priv->packed, packed_row, pixels, stride, packed_row, priv->height);
    const GstFlowReturn ret = klass->process(filter, priv->packed);
    if (ret == GST_FLOW_OK)
        copy_rows(pixels, stride, priv->packed, packed_row, packed_row, priv->height);
    return ret;
}

static void gst_quexal_filter_class_init(GstQuexalFilterClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* transform_class = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* video_class = GST_VIDEO_FILTER_CLASS(klass);

    object_class->finalize = gst_quexal_filter_finalize;
    transform_class->start = GST_DEBUG_FUNCPTR(gst_quexal_filter_start);
    transform_class->stop = GST_DEBUG_FUNCPTR(gst_quexal_filter_stop);
    video_class->set_info = GST_DEBUG_FUNCPTR(gst_quexal_filter_set_info);
    video_class->transform_frame_ip = GST_DEBUG_FUNCPTR(gst_quexal_filter_transform_frame_ip);

    GstCaps* caps = gst_caps_from_string(kCaps);
    gst_element_class_add_pad_template(
        element_class, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(
        element_class, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);

    GST_DEBUG_CATEGORY_INIT(gst_quexal_filter_debug, "quexal", 0, "Quexal video effects");
}

static void gst_quexal_filter_init(GstQuexalFilter*) {}

QxSession* gst_quexal_filter_session(GstQuexalFilter* filter) {
    return private_of(filter)->session;
}

gint gst_quexal_filter_width(GstQuexalFilter* filter) {
    return private_of(filter)->width;
}

gint gst_quexal_filter_height(GstQuexalFilter* filter) {
    return private_of(filter)->height;
}

GstFlowReturn gst_quexal_filter_refused(GstQuexalFilter* filter, const gchar* call, gint code) {
    GST_ELEMENT_ERROR(filter, LIBRARY, FAILED, ("The effect library refused to go on"),
                      ("%s answered %d (see quexal.h)", call, code));
    return GST_FLOW_ERROR;
}

void gst_quexal_filter_class_set_metadata(GstElementClass* klass, const gchar* long_name,
                                          const gchar* description, const gchar* example) {
    gchar* text = g_strdup_printf(
        "%s Takes and gives video/x-raw, format=BGR, any size and frame rate. "
        "Example: gst-launch-1.0 %s",
        description, example);
    gst_element_class_set_metadata(klass, long_name, "Filter/Effect/Video", text,
                                   "Quexal developers");
    g_free(text);
}
