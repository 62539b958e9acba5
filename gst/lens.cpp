// quexallens: a lens distortion: a swirl, a mirror or a radial distortion.
#include "elements.h"

namespace {

enum { PROP_0, PROP_MODE };

constexpr gint kDefaultMode = QX_LENS_SWIRL;

// The values are the library's own mode numbers, so mode=4 and
// mode=bulge name the same lens.
GType lens_mode_get_type() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {QX_LENS_SWIRL, "Swirl: the middle twisted round", "swirl"},
        {QX_LENS_MIRROR, "Mirror: the left half mirrored onto the right", "mirror"},
        {QX_LENS_FUNNEL, "Funnel: the middle drawn inwards, sharply", "funnel"},
        {QX_LENS_BULGE, "Bulge: the middle swells, as through a fisheye", "bulge"},
        {QX_LENS_MAGNIFY, "Magnify: the middle swells strongly, as under a magnifier", "magnify"},
        {QX_LENS_STRETCH, "Stretch: the middle stretched along each axis into a square block",
         "stretch"},
        {QX_LENS_PINCH, "Pinch: the middle drawn inwards, gently", "pinch"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstQuexalLensMode", values));
    return type;
}

}  // namespace

struct _GstQuexalLens {
    GstQuexalFilter parent;
    gint mode;  // guarded by the object lock
};

G_DEFINE_TYPE(GstQuexalLens, gst_quexal_lens, GST_TYPE_QUEXAL_FILTER)

static void gst_quexal_lens_set_property(GObject* object, guint id, const GValue* value,
                                         GParamSpec* pspec) {
    GstQuexalLens* self = GST_QUEXAL_LENS(object);
    if (id != PROP_MODE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    self->mode = g_value_get_enum(value);
    GST_OBJECT_UNLOCK(self);
}

static void gst_quexal_lens_get_property(GObject* object, guint id, GValue* value,
                                         GParamSpec* pspec) {
    GstQuexalLens* self = GST_QUEXAL_LENS(object);
    if (id != PROP_MODE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    g_value_set_enum(value, self->mode);
    GST_OBJECT_UNLOCK(self);
}

static GstFlowReturn gst_quexal_lens_process(GstQuexalFilter* filter, guint8* frame) {
    GstQuexalLens* self = GST_QUEXAL_LENS(filter);
    GST_OBJECT_LOCK(self);
    const gint mode = self->mode;
    GST_OBJECT_UNLOCK(self);
    const gint32 code = qx_process_lens(gst_quexal_filter_session(filter), frame, mode);
    return code == QX_DONE ? GST_FLOW_OK
                           : gst_quexal_filter_refused(filter, "qx_process_lens", code);
}

static void gst_quexal_lens_class_init(GstQuexalLensClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = gst_quexal_lens_set_property;
    object_class->get_property = gst_quexal_lens_get_property;
    g_object_class_install_property(
        object_class, PROP_MODE,
        g_param_spec_enum("mode", "Mode", "Lens (a name or the library's mode number)",
                          lens_mode_get_type(), kDefaultMode,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                   GST_PARAM_MUTABLE_PLAYING)));
    GST_QUEXAL_FILTER_CLASS(klass)->process = gst_quexal_lens_process;
    gst_quexal_filter_class_set_metadata(
        GST_ELEMENT_CLASS(klass), "Quexal lens",
        "Bends the picture as a lens would: a swirl, a mirror, or a radial distortion (funnel, "
        "bulge, "
        "magnify, stretch, pinch).",
        "v4l2src ! videoconvert ! video/x-raw,format=BGR ! quexallens mode=bulge ! videoconvert ! "
        "autovideosink");
    gst_type_mark_as_plugin_api(lens_mode_get_type(), static_cast<GstPluginAPIFlags>(0));
}

static void gst_quexal_lens_init(GstQuexalLens* self) {
    self->mode = kDefaultMode;
}
