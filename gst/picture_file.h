// Reading the pictures the elements are given by path.
#pragma once

#include <gst/gst.h>
#include <opencv2/core/mat.hpp>

// The picture at path, read with OpenCV's imread flags; empty after
// posting an element error that names it as `what` ("mask picture").
cv::Mat gst_quexal_read_picture(GstElement* element, const gchar* path, int flags,
                                const gchar* what);
