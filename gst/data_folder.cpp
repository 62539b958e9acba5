// Where the plugin finds QXdata. This file is built twice: once for the
// plugin in the build tree (the build folder beside it) and once for the
// installed plugin (share/quexal of its prefix), so that an installed
// plugin never reads the build folder.
#include <glib.h>

#include "quexal_filter.h"

#ifndef QUEXAL_GST_DATA_RELATIVE
#error "QUEXAL_GST_DATA_RELATIVE: the data folder relative to the plugin's folder"
#endif
#ifndef QUEXAL_GST_DATA_ABSOLUTE
#error "QUEXAL_GST_DATA_ABSOLUTE: the data folder as configured"
#endif

namespace {

const gchar kDataSubfolder[] = "QXdata";
gchar* plugin_file = nullptr;

bool holds_data(const gchar* folder) {
    gchar* data = g_build_filename(folder, kDataSubfolder, nullptr);
    const bool found = g_file_test(data, G_FILE_TEST_IS_DIR);
    g_free(data);
    return found;
}

// The data folder found from the plugin's own place, so that an
// installation moved to another prefix keeps working; null if not there.
gchar* data_beside_plugin() {
    if (plugin_file == nullptr) return nullptr;
    gchar* plugin_folder = g_path_get_dirname(plugin_file);
    gchar* joined = g_build_filename(plugin_folder, QUEXAL_GST_DATA_RELATIVE, nullptr);
    g_free(plugin_folder);
    gchar* folder = g_canonicalize_filename(joined, nullptr);
    g_free(joined);
    if (holds_data(folder)) return folder;
    g_free(folder);
    return nullptr;
}

}  // namespace

void gst_quexal_set_plugin_file(const gchar* filename) {
    g_free(plugin_file);
    plugin_file = g_strdup(filename);
}

gchar* gst_quexal_data_folder(void) {
    const gchar* chosen = g_getenv("QUEXAL_DATA");
    if (chosen != nullptr && *chosen != '\0') return g_strdup(chosen);
    gchar* beside = data_beside_plugin();
    return beside != nullptr ? beside : g_strdup(QUEXAL_GST_DATA_ABSOLUTE);
}
