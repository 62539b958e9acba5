# Decides whether the GStreamer plugin (gst/) is built: by default when the
# GStreamer development packages are installed.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(GSTREAMER QUIET IMPORTED_TARGET
    gstreamer-1.0 gstreamer-base-1.0 gstreamer-video-1.0 gstreamer-app-1.0)
endif()
set(quexal_gst_default OFF)
if(GSTREAMER_FOUND)
  set(quexal_gst_default ON)
endif()
option(QUEXAL_BUILD_GST "Build the GStreamer plugin (gst/)" ${quexal_gst_default})

set(quexal_gst_packages "libgstreamer1.0-dev and libgstreamer-plugins-base1.0-dev (scripts/setup.sh installs them)")
if(QUEXAL_BUILD_GST AND NOT GSTREAMER_FOUND)
  message(FATAL_ERROR "QUEXAL_BUILD_GST needs GStreamer 1.x: install ${quexal_gst_packages}")
elseif(NOT QUEXAL_BUILD_GST AND NOT GSTREAMER_FOUND)
  message(STATUS "GStreamer plugin not built: GStreamer not found; install ${quexal_gst_packages}")
endif()
