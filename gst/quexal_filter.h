// GstQuexalFilter: the abstract base of every Quexal element. It owns one
// library session, initialises it for each negotiated frame size (rows top
// first), hands the subclass packed BGR frames whatever the buffer's row
// stride, and turns library refusals into bus messages.
#pragma once

#include <gst/video/gstvideofilter.h>

#include "quexal/quexal.h"

G_BEGIN_DECLS

#define GST_TYPE_QUEXAL_FILTER (gst_quexal_filter_get_type())
G_DECLARE_DERIVABLE_TYPE(GstQuexalFilter, gst_quexal_filter, GST, QUEXAL_FILTER, GstVideoFilter)

struct _GstQuexalFilterClass {
    GstVideoFilterClass parent_class;

    // Called on the streaming thread after the session was initialised
    // for a new frame size; the library has then forgotten its background
    // reference and source (not its mask picture). Optional.
    void (*size_changed)(GstQuexalFilter* filter);

    // Rewrites one packed (width * 3 bytes a row), top-row-first BGR frame
    // of the negotiated size. Required.
    GstFlowReturn (*process)(GstQuexalFilter* filter, guint8* frame);
};

// The session the element owns; valid from start to stop.
QxSession* gst_quexal_filter_session(GstQuexalFilter* filter);

// The negotiated frame size.
gint gst_quexal_filter_width(GstQuexalFilter* filter);
gint gst_quexal_filter_height(GstQuexalFilter* filter);

// Posts an element error for a library call that answered `code` and
// answers GST_FLOW_ERROR.
GstFlowReturn gst_quexal_filter_refused(GstQuexalFilter* filter, const gchar* call, gint code);

// Sets the element metadata with the caps every Quexal element takes; the
// description ends with an example pipeline for gst-inspect-1.0.
void gst_quexal_filter_class_set_metadata(GstElementClass* klass, const gchar* long_name,
                                          const gchar* description, const gchar* example);

// The folder holding QXdata (the face cascades), as the library's init
// wants it: $QUEXAL_DATA when set, else the data folder that belongs with
// the plugin file (the build folder in a build tree, share/quexal once
// installed).
gchar* gst_quexal_data_folder(void);

// Remembers where the plugin was loaded from (called by plugin_init).
void gst_quexal_set_plugin_file(const gchar* filename);

G_END_DECLS
