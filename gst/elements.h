// The Quexal elements, one per effect family.
#pragma once

#include "quexal_filter.h"

G_BEGIN_DECLS

#define GST_TYPE_QUEXAL_COLOUR (gst_quexal_colour_get_type())
G_DECLARE_FINAL_TYPE(GstQuexalColour, gst_quexal_colour, GST, QUEXAL_COLOUR, GstQuexalFilter)

#define GST_TYPE_QUEXAL_LENS (gst_quexal_lens_get_type())
G_DECLARE_FINAL_TYPE(GstQuexalLens, gst_quexal_lens, GST, QUEXAL_LENS, GstQuexalFilter)

#define GST_TYPE_QUEXAL_FIRE (gst_quexal_fire_get_type())
G_DECLARE_FINAL_TYPE(GstQuexalFire, gst_quexal_fire, GST, QUEXAL_FIRE, GstQuexalFilter)

#define GST_TYPE_QUEXAL_MASK (gst_quexal_mask_get_type())
G_DECLARE_FINAL_TYPE(GstQuexalMask, gst_quexal_mask, GST, QUEXAL_MASK, GstQuexalFilter)

#define GST_TYPE_QUEXAL_BACKGROUND (gst_quexal_background_get_type())
G_DECLARE_FINAL_TYPE(GstQuexalBackground, gst_quexal_background, GST, QUEXAL_BACKGROUND,
                     GstQuexalFilter)

G_END_DECLS
