// The quexal plugin: one element per effect family.
#include "elements.h"

static gboolean plugin_init(GstPlugin* plugin) {
    gst_quexal_set_plugin_file(gst_plugin_get_filename(plugin));
    gst_type_mark_as_plugin_api(GST_TYPE_QUEXAL_FILTER, static_cast<GstPluginAPIFlags>(0));
    const struct {
        const gchar* name;
        GType type;
    } elements[] = {
        {"quexalcolour", GST_TYPE_QUEXAL_COLOUR},
        {"quexallens", GST_TYPE_QUEXAL_LENS},
        {"quexalfire", GST_TYPE_QUEXAL_FIRE},
        {"quexalmask", GST_TYPE_QUEXAL_MASK},
        {"quexalbackground", GST_TYPE_QUEXAL_BACKGROUND},
    };
    for (const auto& element : elements)
        if (!gst_element_register(plugin, element.name, GST_RANK_NONE, element.type)) return FALSE;
    return TRUE;
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quexal,
                  "Real-time video effects: face mask, background, lens, colour and fire",
                  plugin_init, QUEXAL_VERSION, "Apache 2.0", "Quexal", "Quexal")
