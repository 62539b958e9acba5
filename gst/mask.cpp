// quexalmask: a picture that follows the face (a hat, glasses, a nose), or
// the eye band pixelated or blurred.
#include <opencv2/imgcodecs.hpp>

#include "elements.h"
#include "picture_file.h"

namespace {

enum { PROP_0, PROP_PICTURE, PROP_KIND, PROP_EYES, PROP_MIN_FACE, PROP_ASYNC_DETECT };

// min-face 0 keeps the library's own smallest face (about 22 % of the width).
constexpr gint kLibraryMinFace = 0, kMinFaceLow = 10, kMinFaceHigh = 1000;

// Where the picture sits; the values are the library's kind numbers.
enum MaskKind { kAboveFace = 1, kOnFacePoint = 2, kBelowEyes = 3, kOnEyes = 4, kWide = 8 };

enum EyeBand {
    kEyesNone = QX_MASK_DRAW_PICTURE,
    kEyesPixelate = QX_MASK_PIXELATE_EYES,
    kEyesBlur = QX_MASK_BLUR_EYES
};

constexpr gint kDefaultKind = kAboveFace;
constexpr gint kDefaultEyes = kEyesNone;

// Kinds 1, 2 and 8 take a large picture, 3 and 4 a small one.
constexpr gint kLargeWidth = 200, kLargeHeight = 190;
constexpr gint kSmallWidth = 100, kSmallHeight = 90;

GType mask_kind_get_type() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {kAboveFace, "Above the face, swung with the head (a hat; 200x190)", "above-face"},
        {kOnFacePoint, "On the face, not swung (a full-face mask; 200x190)", "on-face"},
        {kBelowEyes, "Below the eyes (a nose, a moustache; 100x90)", "below-eyes"},
        {kOnEyes, "On the eyes (glasses, an eye mask; 100x90)", "on-eyes"},
        {kWide, "Wider than the face, just above it (200x190)", "wide"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstQuexalMaskKind", values));
    return type;
}

GType eye_band_get_type() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {kEyesNone, "Draw the picture", "none"},
        {kEyesPixelate, "Pixelate the eye band instead of drawing the picture", "pixelate"},
        {kEyesBlur, "Blur the eye band instead of drawing the picture", "blur"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstQuexalEyeBand", values));
    return type;
}

bool takes_large_picture(gint kind) {
    return kind != kBelowEyes && kind != kOnEyes;
}

}  // namespace

struct _GstQuexalMask {
    GstQuexalFilter parent;
    // Guarded by the object lock.
    gchar* picture;
    gint kind;
    gint eyes;
    gint min_face;
    gboolean async_detect;
    gboolean picture_changed;  // picture or kind set since the last frame
    // Streaming thread only.
    gboolean has_picture;  // a picture of the user's is registered
    gboolean warned_idle;
};

G_DEFINE_TYPE(GstQuexalMask, gst_quexal_mask, GST_TYPE_QUEXAL_FILTER)

static void gst_quexal_mask_set_property(GObject* object, guint id, const GValue* value,
                                         GParamSpec* pspec) {
    GstQuexalMask* self = GST_QUEXAL_MASK(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_PICTURE:
            g_free(self->picture);
            self->picture = g_value_dup_string(value);
            self->picture_changed = TRUE;
            break;
        case PROP_KIND:
            self->kind = g_value_get_enum(value);
            self->picture_changed = TRUE;
            break;
        case PROP_EYES: self->eyes = g_value_get_enum(value); break;
        case PROP_MIN_FACE: self->min_face = g_value_get_int(value); break;
        case PROP_ASYNC_DETECT: self->async_detect = g_value_get_boolean(value); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_quexal_mask_get_property(GObject* object, guint id, GValue* value,
                                         GParamSpec* pspec) {
    GstQuexalMask* self = GST_QUEXAL_MASK(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_PICTURE: g_value_set_string(value, self->picture); break;
        case PROP_KIND: g_value_set_enum(value, self->kind); break;
        case PROP_EYES: g_value_set_enum(value, self->eyes); break;
        case PROP_MIN_FACE: g_value_set_int(value, self->min_face); break;
        case PROP_ASYNC_DETECT: g_value_set_boolean(value, self->async_detect); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

// Without a picture of the user's, a clear one of the kind's size is
// registered: the library draws nothing with it, and the eye band modes,
// which need a registered picture, work.
static gboolean register_clear_picture(GstQuexalMask* self, gint kind) {
    const bool large = takes_large_picture(kind);
    const cv::Mat clear = cv::Mat::zeros(large ? kLargeHeight : kSmallHeight,
                                         large ? kLargeWidth : kSmallWidth, CV_8UC4);
    const gint32 code =
        qx_set_mask_image(gst_quexal_filter_session(GST_QUEXAL_FILTER(self)), clear.data,
                          clear.cols, clear.rows, kind, QX_MASK_MAGIC, 0, 0);
    if (code == QX_DONE) return TRUE;
    gst_quexal_filter_refused(GST_QUEXAL_FILTER(self), "qx_set_mask_image", code);
    return FALSE;
}

static gboolean register_picture(GstQuexalMask* self, const gchar* path, gint kind) {
    self->has_picture = FALSE;
    if (path == nullptr || *path == '\0') return register_clear_picture(self, kind);

    const cv::Mat picture =
        gst_quexal_read_picture(GST_ELEMENT(self), path, cv::IMREAD_UNCHANGED, "mask picture");
    if (picture.empty()) return FALSE;
    if (picture.type() != CV_8UC4) {
        GST_ELEMENT_ERROR(
            self, RESOURCE, SETTINGS, ("Mask picture \"%s\" has no alpha channel", path),
            ("quexalmask takes a PNG with alpha, 8 bits a channel (this one has %d channels "
             "of %d bytes)",
             picture.channels(), static_cast<int>(picture.elemSize1())));
        return FALSE;
    }
    const bool large = takes_large_picture(kind);
    const gint32 fits =
        qx_test_mask_image(nullptr, picture.cols, picture.rows, kind, QX_MASK_MAGIC, 0, 0);
    if (fits != QX_DONE) {
        GST_ELEMENT_ERROR(
            self, RESOURCE, SETTINGS,
            ("Mask picture \"%s\" is %dx%d; kind %d takes %dx%d", path, picture.cols, picture.rows,
             kind, large ? kLargeWidth : kSmallWidth, large ? kLargeHeight : kSmallHeight),
            ("qx_test_mask_image answered %d", fits));
        return FALSE;
    }
    const cv::Mat packed = picture.isContinuous() ? picture : picture.clone();
    const gint32 code =
        qx_set_mask_image(gst_quexal_filter_session(GST_QUEXAL_FILTER(self)), packed.data,
                          packed.cols, packed.rows, kind, QX_MASK_MAGIC, 0, 0);
    if (code != QX_DONE) {
        gst_quexal_filter_refused(GST_QUEXAL_FILTER(self), "qx_set_mask_image", code);
        return FALSE;
    }
    self->has_picture = TRUE;
    return TRUE;
}

static GstFlowReturn gst_quexal_mask_process(GstQuexalFilter* filter, guint8* frame) {
    GstQuexalMask* self = GST_QUEXAL_MASK(filter);
    GST_OBJECT_LOCK(self);
    gchar* path = self->picture_changed ? g_strdup(self->picture) : nullptr;
    const gboolean picture_changed = self->picture_changed;
    const gint kind = self->kind;
    const gint eyes = self->eyes;
    const gint min_face = self->min_face;
    const gboolean async_detect = self->async_detect;
    self->picture_changed = FALSE;
    GST_OBJECT_UNLOCK(self);

    const gboolean registered = !picture_changed || register_picture(self, path, kind);
    g_free(path);
    if (!registered) return GST_FLOW_ERROR;

    if (eyes == kEyesNone && !self->has_picture) {
        if (!self->warned_idle)
            GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("quexalmask has nothing to draw"),
                                ("set picture=FILE.png, or eyes=pixelate or eyes=blur"));
        self->warned_idle = TRUE;
        return GST_FLOW_OK;
    }
    // Options the session checks cheaply: set every frame, they follow the
    // properties from the next frame on.
    QxSession* session = gst_quexal_filter_session(filter);
    qx_set_option(session, "min_face_permille",
                  min_face >= kMinFaceLow ? min_face : QX_MIN_FACE_DEFAULT);
    qx_set_option(session, "async_detect", async_detect ? 1 : 0);
    const gint32 code = qx_process_mask(session, frame, eyes, 0);
    return code == QX_DONE ? GST_FLOW_OK
                           : gst_quexal_filter_refused(filter, "qx_process_mask", code);
}

// A stopped element registers its picture again on the next run, in the
// session made for it.
static gboolean gst_quexal_mask_start(GstBaseTransform* trans) {
    GstQuexalMask* self = GST_QUEXAL_MASK(trans);
    GST_OBJECT_LOCK(self);
    self->picture_changed = TRUE;
    GST_OBJECT_UNLOCK(self);
    self->has_picture = FALSE;
    self->warned_idle = FALSE;
    return GST_BASE_TRANSFORM_CLASS(gst_quexal_mask_parent_class)->start(trans);
}

static void gst_quexal_mask_finalize(GObject* object) {
    g_free(GST_QUEXAL_MASK(object)->picture);
    G_OBJECT_CLASS(gst_quexal_mask_parent_class)->finalize(object);
}

static void gst_quexal_mask_class_init(GstQuexalMaskClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = gst_quexal_mask_set_property;
    object_class->get_property = gst_quexal_mask_get_property;
    object_class->finalize = gst_quexal_mask_finalize;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        object_class, PROP_PICTURE,
        g_param_spec_string(
            "picture", "Picture",
            "PNG with alpha to draw on the face: 200x190 for kinds 1, 2 and 8, 100x90 for "
            "kinds 3 and 4",
            nullptr, flags));
    g_object_class_install_property(
        object_class, PROP_KIND,
        g_param_spec_enum("kind", "Kind",
                          "Where the picture sits (a name or the library's kind number)",
                          mask_kind_get_type(), kDefaultKind, flags));
    g_object_class_install_property(
        object_class, PROP_EYES,
        g_param_spec_enum("eyes", "Eyes", "Obscure the eye band instead of drawing the picture",
                          eye_band_get_type(), kDefaultEyes, flags));
    g_object_class_install_property(
        object_class, PROP_MIN_FACE,
        g_param_spec_int(
            "min-face", "Smallest face",
            "Smallest face width looked for, in thousandths of the frame width (100 finds faces at "
            "arm's length); 0 for the library's own, about 22 % of the width",
            kLibraryMinFace, kMinFaceHigh, kLibraryMinFace, flags));
    // (Values 1 to 9 are taken as 0.)
    g_object_class_install_property(
        object_class, PROP_ASYNC_DETECT,
        g_param_spec_boolean(
            "async-detect", "Detect beside the stream",
            "Look for the face on a thread of the element's own, so that no frame waits for "
            "a detection (frames before the first one pass unchanged)",
            FALSE, flags));

    GST_BASE_TRANSFORM_CLASS(klass)->start = gst_quexal_mask_start;
    GST_QUEXAL_FILTER_CLASS(klass)->process = gst_quexal_mask_process;
    gst_quexal_filter_class_set_metadata(GST_ELEMENT_CLASS(klass), "Quexal face mask",
                                         "Draws a picture that follows the face (a hat, glasses, a "
                                         "nose), or pixelates or blurs the eye "
                                         "band. Frames without a face pass unchanged.",
                                         "v4l2src ! videoconvert ! video/x-raw,format=BGR ! "
                                         "quexalmask picture=hat_200x190.png kind=1 ! "
                                         "videoconvert ! autovideosink");
    gst_type_mark_as_plugin_api(mask_kind_get_type(), static_cast<GstPluginAPIFlags>(0));
    gst_type_mark_as_plugin_api(eye_band_get_type(), static_cast<GstPluginAPIFlags>(0));
}

static void gst_quexal_mask_init(GstQuexalMask* self) {
    self->kind = kDefaultKind;
    self->eyes = kDefaultEyes;
    self->picture_changed = TRUE;
}
