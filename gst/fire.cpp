// quexalfire: animated flames rising from the bottom of the picture.
#include "elements.h"

struct _GstQuexalFire {
    GstQuexalFilter parent;
};

G_DEFINE_TYPE(GstQuexalFire, gst_quexal_fire, GST_TYPE_QUEXAL_FILTER)

static GstFlowReturn gst_quexal_fire_process(GstQuexalFilter* filter, guint8* frame) {
    const gint32 code = qx_process_fire(gst_quexal_filter_session(filter), frame);
    return code == QX_DONE ? GST_FLOW_OK
                           : gst_quexal_filter_refused(filter, "qx_process_fire", code);
}

static void gst_quexal_fire_class_init(GstQuexalFireClass* klass) {
    GST_QUEXAL_FILTER_CLASS(klass)->process = gst_quexal_fire_process;
    gst_quexal_filter_class_set_metadata(
        GST_ELEMENT_CLASS(klass), "Quexal fire",
        "Draws animated flames over the picture, fully grown from the first frame.",
        "v4l2src ! videoconvert ! video/x-raw,format=BGR ! quexalfire ! videoconvert ! "
        "autovideosink");
}

static void gst_quexal_fire_init(GstQuexalFire*) {}
