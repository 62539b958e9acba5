// quexalbackground: the scene behind the person replaced by a picture or a
// looping video, against a reference picture of the empty scene.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "elements.h"
#include "picture_file.h"

namespace {

enum {
    PROP_0,
    PROP_SOURCE,
    PROP_REFERENCE,
    PROP_HALO_COLOUR,
    PROP_CUT_LINE,
    PROP_EXPOSURE_COMPENSATION
};

enum { SIGNAL_SNAPSHOT, LAST_SIGNAL };
guint signals[LAST_SIGNAL];

constexpr gint kNoHalo = -1;
constexpr gint kMaxColour = 0xFFFFFF;
constexpr gint kNoCutLine = 0;
constexpr gint kMaxCutLine = 100;

// The user writes colours as 0xRRGGBB; the library takes 0xBBGGRR.
gint32 library_colour(gint rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

struct Settings {
    gchar* source;
    gchar* reference;
    gint halo_colour;
    gint cut_line;
    gboolean exposure_compensation;
};

}  // namespace

struct _GstQuexalBackground {
    GstQuexalFilter parent;
    // Guarded by the object lock.
    Settings settings;
    gboolean reference_pending;  // take the reference before the next frame
    gboolean snapshot_pending;   // ... from that frame, whatever `reference` says
    gboolean source_pending;     // hand the source over before the next frame
    // Streaming thread only.
    gboolean has_source;
    gboolean warned_no_source;
};

G_DEFINE_TYPE(GstQuexalBackground, gst_quexal_background, GST_TYPE_QUEXAL_FILTER)

static void gst_quexal_background_set_property(GObject* object, guint id, const GValue* value,
                                               GParamSpec* pspec) {
    GstQuexalBackground* self = GST_QUEXAL_BACKGROUND(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_SOURCE:
            g_free(self->settings.source);
            self->settings.source = g_value_dup_string(value);
            self->source_pending = TRUE;
            break;
        case PROP_REFERENCE:
            g_free(self->settings.reference);
            self->settings.reference = g_value_dup_string(value);
            self->reference_pending = TRUE;
            break;
        case PROP_HALO_COLOUR: self->settings.halo_colour = g_value_get_int(value); break;
        case PROP_CUT_LINE: self->settings.cut_line = g_value_get_int(value); break;
        case PROP_EXPOSURE_COMPENSATION:
            self->settings.exposure_compensation = g_value_get_boolean(value);
            break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_quexal_background_get_property(GObject* object, guint id, GValue* value,
                                               GParamSpec* pspec) {
    GstQuexalBackground* self = GST_QUEXAL_BACKGROUND(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_SOURCE: g_value_set_string(value, self->settings.source); break;
        case PROP_REFERENCE: g_value_set_string(value, self->settings.reference); break;
        case PROP_HALO_COLOUR: g_value_set_int(value, self->settings.halo_colour); break;
        case PROP_CUT_LINE: g_value_set_int(value, self->settings.cut_line); break;
        case PROP_EXPOSURE_COMPENSATION:
            g_value_set_boolean(value, self->settings.exposure_compensation);
            break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_quexal_background_snapshot(GstQuexalBackground* self) {
    GST_OBJECT_LOCK(self);
    self->snapshot_pending = TRUE;
    self->reference_pending = TRUE;
    GST_OBJECT_UNLOCK(self);
}

static gboolean snapshot_taken(GstQuexalFilter* filter, gint32 code) {
    if (code == QX_DONE) return TRUE;
    gst_quexal_filter_refused(filter, "qx_get_bkg_snapshot", code);
    return FALSE;
}

// The reference picture, stretched to the frame size if it was taken at
// another; FALSE after posting an error.
static gboolean take_reference_picture(GstQuexalBackground* self, const gchar* path) {
    GstQuexalFilter* filter = GST_QUEXAL_FILTER(self);
    cv::Mat picture =
        gst_quexal_read_picture(GST_ELEMENT(self), path, cv::IMREAD_COLOR, "reference picture");
    if (picture.empty()) return FALSE;
    const cv::Size frame(gst_quexal_filter_width(filter), gst_quexal_filter_height(filter));
    if (picture.size() != frame) {
        GST_INFO_OBJECT(self, "reference %dx%d stretched to %dx%d", picture.cols, picture.rows,
                        frame.width, frame.height);
        cv::resize(picture, picture, frame, 0, 0, cv::INTER_AREA);
    }
    if (!picture.isContinuous()) picture = picture.clone();
    const gint32 code = qx_get_bkg_snapshot(gst_quexal_filter_session(filter), picture.data,
                                            frame.width, frame.height, 0);
    return snapshot_taken(filter, code);
}

static gboolean take_reference_frame(GstQuexalBackground* self, const guint8* frame) {
    GstQuexalFilter* filter = GST_QUEXAL_FILTER(self);
    const gint32 code =
        qx_get_bkg_snapshot(gst_quexal_filter_session(filter), frame,
                            gst_quexal_filter_width(filter), gst_quexal_filter_height(filter), 0);
    return snapshot_taken(filter, code);
}

// A file OpenCV reads as a picture is a still background; any other file
// goes to the library's looping video reader.
static gboolean set_source(GstQuexalBackground* self, const gchar* path) {
    QxSession* session = gst_quexal_filter_session(GST_QUEXAL_FILTER(self));
    self->has_source = FALSE;
    self->warned_no_source = FALSE;
    if (path == nullptr || *path == '\0') {
        qx_set_bkg(session, "", QX_BKG_VIDEO, 0, 0, 0);  // stops a playing video
        return TRUE;
    }
    if (!g_file_test(path, G_FILE_TEST_IS_REGULAR)) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No background source \"%s\"", path),
                          ("source must name a picture or a video file"));
        return FALSE;
    }
    gint32 code;
    if (cv::haveImageReader(path)) {
        cv::Mat picture = gst_quexal_read_picture(GST_ELEMENT(self), path, cv::IMREAD_COLOR,
                                                  "background picture");
        if (picture.empty()) return FALSE;
        if (!picture.isContinuous()) picture = picture.clone();
        code = qx_set_bkg(session, picture.data, QX_BKG_PICTURE, picture.cols, picture.rows, 0);
    } else {
        code = qx_set_bkg(session, path, QX_BKG_VIDEO, 0, 0, 0);
    }
    if (code != QX_DONE) {
        GST_ELEMENT_ERROR(
            self, RESOURCE, OPEN_READ, ("Cannot use \"%s\" as a background", path),
            ("it is neither a picture OpenCV reads nor a video it plays (qx_set_bkg answered %d)",
             code));
        return FALSE;
    }
    self->has_source = TRUE;
    return TRUE;
}

static GstFlowReturn gst_quexal_background_process(GstQuexalFilter* filter, guint8* frame) {
    GstQuexalBackground* self = GST_QUEXAL_BACKGROUND(filter);
    GST_OBJECT_LOCK(self);
    const gboolean reference_pending = self->reference_pending;
    const gboolean snapshot_pending = self->snapshot_pending;
    const gboolean source_pending = self->source_pending;
    gchar* reference = g_strdup(self->settings.reference);
    gchar* source = g_strdup(self->settings.source);
    const gint halo_colour = self->settings.halo_colour;
    const gint cut_line = self->settings.cut_line;
    const gboolean exposure_compensation = self->settings.exposure_compensation;
    self->reference_pending = self->snapshot_pending = self->source_pending = FALSE;
    GST_OBJECT_UNLOCK(self);

    // The reference comes first: the library takes a source only once it
    // has one.
    gboolean ready = TRUE;
    if (reference_pending) {
        const bool from_frame = snapshot_pending || reference == nullptr || *reference == '\0';
        ready = from_frame ? take_reference_frame(self, frame)
                           : take_reference_picture(self, reference);
    }
    if (ready && source_pending) ready = set_source(self, source);
    g_free(reference);
    g_free(source);
    if (!ready) return GST_FLOW_ERROR;

    if (!self->has_source) {
        if (!self->warned_no_source)
            GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS,
                                ("quexalbackground has no background to show"),
                                ("set source=FILE (a picture or a video)"));
        self->warned_no_source = TRUE;
        return GST_FLOW_OK;
    }
    // An option the session checks cheaply: set every frame, it follows the
    // property from the next frame on.
    qx_set_option(gst_quexal_filter_session(filter), "exposure_compensation",
                  exposure_compensation ? 1 : 0);
    const gboolean halo = halo_colour != kNoHalo;
    const gint32 code = qx_process_bkg(gst_quexal_filter_session(filter), frame, halo ? 1 : 0,
                                       halo ? library_colour(halo_colour) : 0, cut_line, 0);
    switch (code) {
        case QX_DONE: return GST_FLOW_OK;
        case QX_BKG_LITTLE_BACKGROUND:
            GST_LOG_OBJECT(self, "under 15 %% of the frame was background");
            return GST_FLOW_OK;
        case QX_BKG_NO_SOURCE:
            // A video source delivers its first frame a moment after it is set.
            GST_LOG_OBJECT(self, "no background frame yet; the frame passes unchanged");
            return GST_FLOW_OK;
        default: return gst_quexal_filter_refused(filter, "qx_process_bkg", code);
    }
}

// A new size: the library dropped its reference and source, so both are
// given again, the reference from the next frame unless a picture is named.
static void gst_quexal_background_size_changed(GstQuexalFilter* filter) {
    GstQuexalBackground* self = GST_QUEXAL_BACKGROUND(filter);
    GST_OBJECT_LOCK(self);
    self->reference_pending = TRUE;
    self->source_pending = TRUE;
    GST_OBJECT_UNLOCK(self);
    self->has_source = FALSE;
}

static void gst_quexal_background_finalize(GObject* object) {
    GstQuexalBackground* self = GST_QUEXAL_BACKGROUND(object);
    g_free(self->settings.source);
    g_free(self->settings.reference);
    G_OBJECT_CLASS(gst_quexal_background_parent_class)->finalize(object);
}

static void install_properties(GObjectClass* object_class) {
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        object_class, PROP_SOURCE,
        g_param_spec_string("source", "Source",
                            "The new background: a picture, or a video file played in a loop",
                            nullptr, flags));
    g_object_class_install_property(
        object_class, PROP_REFERENCE,
        g_param_spec_string(
            "reference", "Reference",
            "A picture of the empty scene; unset, the first frame is taken as the empty scene",
            nullptr, flags));
    g_object_class_install_property(
        object_class, PROP_HALO_COLOUR,
        g_param_spec_int(
            "halo-colour", "Halo colour",
            "Colour of a halo round the person, 0xRRGGBB; -1 for none (a feathered edge)", kNoHalo,
            kMaxColour, kNoHalo, flags));
    g_object_class_install_property(
        object_class, PROP_CUT_LINE,
        g_param_spec_int(
            "cut-line", "Cut line",
            "The scene below this line (in percent of the height from the top) is kept as it is, "
            "such as a desk; 0 for none",
            kNoCutLine, kMaxCutLine, kNoCutLine, flags));
    g_object_class_install_property(
        object_class, PROP_EXPOSURE_COMPENSATION,
        g_param_spec_boolean(
            "exposure-compensation", "Exposure compensation",
            "Follow the camera's own exposure changes since the empty scene was taken", FALSE,
            flags));
}

static void gst_quexal_background_class_init(GstQuexalBackgroundClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = gst_quexal_background_set_property;
    object_class->get_property = gst_quexal_background_get_property;
    object_class->finalize = gst_quexal_background_finalize;
    install_properties(object_class);

    // g_signal_emit_by_name(element, "snapshot") takes the next frame as the
    // empty scene.
    signals[SIGNAL_SNAPSHOT] = g_signal_new_class_handler(
        "snapshot", G_TYPE_FROM_CLASS(klass),
        static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
        G_CALLBACK(gst_quexal_background_snapshot), nullptr, nullptr, nullptr, G_TYPE_NONE, 0);

    GST_QUEXAL_FILTER_CLASS(klass)->process = gst_quexal_background_process;
    GST_QUEXAL_FILTER_CLASS(klass)->size_changed = gst_quexal_background_size_changed;
    gst_quexal_filter_class_set_metadata(
        GST_ELEMENT_CLASS(klass), "Quexal background",
        "Replaces the scene behind the person with a picture or a looping video. The empty scene "
        "is the "
        "reference picture, or else the first frame (step out of view when it starts); the "
        "snapshot action "
        "signal takes the next frame instead.",
        "v4l2src ! videoconvert ! video/x-raw,format=BGR ! quexalbackground source=beach.jpg "
        "halo-colour=0xFFFF00 ! videoconvert ! autovideosink");
}

static void gst_quexal_background_init(GstQuexalBackground* self) {
    self->settings.halo_colour = kNoHalo;
    self->settings.cut_line = kNoCutLine;
    self->reference_pending = TRUE;
    self->source_pending = TRUE;
}
