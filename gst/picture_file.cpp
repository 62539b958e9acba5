#include "picture_file.h"

#include <opencv2/imgcodecs.hpp>

cv::Mat gst_quexal_read_picture(GstElement* element, const gchar* path, int flags,
                                const gchar* what) {
    // A missing file is told apart here, before OpenCV logs its own warning.
    if (!g_file_test(path, G_FILE_TEST_IS_REGULAR)) {
        GST_ELEMENT_ERROR(element, RESOURCE, NOT_FOUND, ("No %s \"%s\"", what, path),
                          ("no such file"));
        return {};
    }
    cv::Mat picture;
    try {
        picture = cv::imread(path, flags);
    } catch (const cv::Exception& error) {
        GST_WARNING_OBJECT(element, "imread: %s", error.what());
    }
    if (picture.empty())
        GST_ELEMENT_ERROR(element, RESOURCE, OPEN_READ, ("Cannot read %s \"%s\"", what, path),
                          ("not a picture OpenCV can decode"));
    return picture;
}
