// quexalcolour: a colour tone over the whole picture.
#include "elements.h"

namespace {

enum { PROP_0, PROP_MODE };

constexpr gint kDefaultMode = QX_COLOR_SEPIA;

// The values are the library's own mode numbers, so mode=25 and
// mode=sepia name the same tone.
GType colour_mode_get_type() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {QX_COLOR_NEGATIVE, "Negative: every channel inverted", "negative"},
        {QX_COLOR_GREY, "Grey", "grey"},
        {QX_COLOR_GLOW, "Glow: a soft bright haze", "glow"},
        {QX_COLOR_SOFT_GREY, "Soft grey: a grey glow over the picture", "softgrey"},
        {QX_COLOR_SEPIA, "Sepia", "sepia"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstQuexalColourMode", values));
    return type;
}

}  // namespace

struct _GstQuexalColour {
    GstQuexalFilter parent;
    gint mode;  // guarded by the object lock
};

G_DEFINE_TYPE(GstQuexalColour, gst_quexal_colour, GST_TYPE_QUEXAL_FILTER)

static void gst_quexal_colour_set_property(GObject* object, guint id, const GValue* value,
                                           GParamSpec* pspec) {
    GstQuexalColour* self = GST_QUEXAL_COLOUR(object);
    if (id != PROP_MODE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    self->mode = g_value_get_enum(value);
    GST_OBJECT_UNLOCK(self);
}

static void gst_quexal_colour_get_property(GObject* object, guint id, GValue* value,
                                           GParamSpec* pspec) {
    GstQuexalColour* self = GST_QUEXAL_COLOUR(object);
    if (id != PROP_MODE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    g_value_set_enum(value, self->mode);
    GST_OBJECT_UNLOCK(self);
}

static GstFlowReturn gst_quexal_colour_process(GstQuexalFilter* filter, guint8* frame) {
    GstQuexalColour* self = GST_QUEXAL_COLOUR(filter);
    GST_OBJECT_LOCK(self);
    const gint mode = self->mode;
    GST_OBJECT_UNLOCK(self);
    const gint32 code = qx_process_color(gst_quexal_filter_session(filter), frame, mode);
    return code == QX_DONE ? GST_FLOW_OK
                           : gst_quexal_filter_refused(filter, "qx_process_color", code);
}

static void gst_quexal_colour_class_init(GstQuexalColourClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = gst_quexal_colour_set_property;
    object_class->get_property = gst_quexal_colour_get_property;
    g_object_class_install_property(
        object_class, PROP_MODE,
        g_param_spec_enum("mode", "Mode", "Colour tone (a name or the library's mode number)",
                          colour_mode_get_type(), kDefaultMode,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                   GST_PARAM_MUTABLE_PLAYING)));
    GST_QUEXAL_FILTER_CLASS(klass)->process = gst_quexal_colour_process;
    gst_quexal_filter_class_set_metadata(
        GST_ELEMENT_CLASS(klass), "Quexal colour tone",
        "Tones the picture: negative, grey, glow, soft grey or sepia.",
        "videotestsrc ! videoconvert ! video/x-raw,format=BGR ! quexalcolour mode=sepia ! "
        "videoconvert ! "
        "autovideosink");
    gst_type_mark_as_plugin_api(colour_mode_get_type(), static_cast<GstPluginAPIFlags>(0));
}

static void gst_quexal_colour_init(GstQuexalColour* self) {
    self->mode = kDefaultMode;
}
