# Assembles the data folder the library reads at initialisation from the
# cascades Debian's opencv-data ships. The eye cascade goes by the name the
# library asks for.
find_path(QUEXAL_CASCADE_DIR haarcascade_frontalface_alt.xml
  PATHS /usr/share/opencv4/haarcascades /usr/share/opencv/haarcascades
        ${OpenCV_INSTALL_PATH}/share/opencv4/haarcascades
  NO_DEFAULT_PATH)
if(NOT QUEXAL_CASCADE_DIR)
  message(FATAL_ERROR "Haar cascades not found: install opencv-data (scripts/setup.sh does)")
endif()

set(QUEXAL_DATA_DIR ${CMAKE_BINARY_DIR}/QXdata)
configure_file(${QUEXAL_CASCADE_DIR}/haarcascade_frontalface_alt.xml
               ${QUEXAL_DATA_DIR}/haarcascade_frontalface_alt.xml COPYONLY)
configure_file(${QUEXAL_CASCADE_DIR}/haarcascade_eye.xml
               ${QUEXAL_DATA_DIR}/eye_8.xml COPYONLY)
