// The compiled half of the quexal package: the Session class. The enums and
// the Refused error are Python classes in quexal/_types.py.
#include <pybind11/pybind11.h>

#include "session.h"

namespace py = pybind11;
using quexal::python::Session;

namespace {

constexpr const char* kSessionDoc =
    R"doc(One stream of video frames of one size, with the state of every effect.

Session(width, height, top_down=True, data=None)

Frames are numpy uint8 arrays of shape (height, width, 3), bytes blue,
green, red, C-contiguous: what cv2 reads and captures. Effects change the
frame in place and return it. top_down=True says the first row of the
array is the top of the picture (as in cv2); False hands the rows over
bottom first, as a Windows bitmap stores them. data names the folder that
holds QXdata/ with the cascades; None finds it (the build folder, or the
installed share/quexal).

A refused call raises quexal.Refused with the library's code; the frame is
then untouched. A frame of the wrong shape, dtype or layout raises
TypeError or ValueError and is untouched too.

Sessions are independent and may run on different threads at once; the
GIL is released while the library works on a frame. Calls on one session
from several threads take turns. Use it as a context manager, or call
close(), to free it (and stop a background video) at once.)doc";

constexpr const char* kColourDoc = R"doc(colour(frame, mode) -> frame

Tones the frame: mode is a quexal.Colour (NEGATIVE, GREY, GLOW, SOFT_GREY,
SEPIA) or its int value. Raises Refused (code -1) for another mode.)doc";

constexpr const char* kLensDoc = R"doc(lens(frame, mode) -> frame

Distorts the frame: mode is a quexal.Lens (SWIRL, MIRROR, FUNNEL, BULGE,
MAGNIFY, STRETCH, PINCH) or 1..7. Raises Refused (code -1) for another mode.)doc";

constexpr const char* kFireDoc = R"doc(fire(frame) -> frame

Draws flames rising from the bottom of the frame; they move from one call
to the next.)doc";

constexpr const char* kMaskDoc = R"doc(mask(frame, eyes=None) -> frame

Follows the face in the frame. eyes=None draws the mask picture given to
set_mask_picture; quexal.Eyes.PIXELATE or quexal.Eyes.BLUR obscures the eye
band instead. Either way a mask picture must be registered first: until
then the call raises Refused (code 0). A frame without a usable face is
left as it is.)doc";

constexpr const char* kSetMaskPictureDoc = R"doc(set_mask_picture(rgba, kind)

Registers the picture mask() draws: rgba is a uint8 array (height, width,
4) of blue, green, red, alpha, as cv2.imread(path, cv2.IMREAD_UNCHANGED)
reads a PNG with alpha. kind is a quexal.MaskKind; ABOVE_FACE, ON_FACE_POINT and
WIDE take 200x190 pictures, BELOW_EYES and ON_EYES 100x90 ones. Raises
Refused (code -2) for another size or kind; the picture registered before
stays in force. The picture is copied.)doc";

constexpr const char* kSnapshotDoc = R"doc(snapshot(frame)

Takes frame (of the session's size; not changed) as the empty scene that
background() tells the person from. Needed before set_background().)doc";

constexpr const char* kSetBackgroundDoc = R"doc(set_background(picture_or_path)

Sets what background() puts behind the person: a numpy BGR picture
(height, width, 3) of any size, stretched to the frame and copied, or the
path (str or os.PathLike) of a video file, played in a loop; an empty path
stops a playing video. Raises Refused (code 0) before a snapshot, or for a
video that cannot be opened.)doc";

constexpr const char* kBackgroundDoc =
    R"doc(background(frame, halo=None, cut_line=0) -> quexal.BackgroundResult

Replaces the background of the frame behind the person. halo=None blends
the edge; a colour 0xRRGGBB draws a halo of that colour round the person
instead. cut_line, in percent of the height (0 for none), draws a
horizontal barrier that closes the person's outline, such as a desk edge.
Returns DONE, or LITTLE_BACKGROUND when the composite was written but under
15 % of the frame was background. Raises Refused with code -1 while no
source is set (or the video gives no frame) and -2 before a snapshot.)doc";

}  // namespace

PYBIND11_MODULE(_quexal, m) {
    m.doc() = "The compiled half of quexal: import quexal instead.";
    // Each docstring opens with the Python signature; pybind11's own, in
    // C++ types, would only repeat it less clearly.
    py::options options;
    options.disable_function_signatures();
    quexal::python::loadPythonTypes();

    py::class_<Session>(m, "Session", kSessionDoc)
        .def(py::init<int32_t, int32_t, bool, const py::object&>(), py::arg("width"),
             py::arg("height"), py::arg("top_down") = true, py::arg("data") = py::none())
        .def("colour", &Session::colour, py::arg("frame"), py::arg("mode"), kColourDoc)
        .def("lens", &Session::lens, py::arg("frame"), py::arg("mode"), kLensDoc)
        .def("fire", &Session::fire, py::arg("frame"), kFireDoc)
        .def("mask", &Session::mask, py::arg("frame"), py::arg("eyes") = py::none(), kMaskDoc)
        .def("set_mask_picture", &Session::setMaskPicture, py::arg("rgba"), py::arg("kind"),
             kSetMaskPictureDoc)
        .def("snapshot", &Session::snapshot, py::arg("frame"), kSnapshotDoc)
        .def("set_background", &Session::setBackground, py::arg("picture_or_path"),
             kSetBackgroundDoc)
        .def("background", &Session::background, py::arg("frame"), py::arg("halo") = py::none(),
             py::arg("cut_line") = 0, kBackgroundDoc)
        .def("set_option", &Session::setOption, py::arg("name"), py::arg("value"),
             R"doc(set_option(name, value)

Sets a session option, e.g. set_option("exposure_compensation", 1) to have
the background effect follow the camera's own exposure changes since the
snapshot. Raises ValueError for an unknown name or a value out of range.)doc")
        .def("close", &Session::close,
             "close()\n\nFrees the session and stops a background video; later calls "
             "raise ValueError. Closing twice does nothing.")
        .def(
            "__enter__", [](Session& s) -> Session& { return s; },
            py::return_value_policy::reference_internal, "Answers the session itself.")
        .def(
            "__exit__", [](Session& s, const py::args&) { s.close(); }, "Closes the session.")
        .def_property_readonly("width", &Session::width, "Frame width in pixels.")
        .def_property_readonly("height", &Session::height, "Frame height in pixels.")
        .def_property_readonly("top_down", &Session::topDown,
                               "True when the first row of a frame is the top one.")
        .def_property_readonly("closed", &Session::closed, "True once close() has run.")
        .def_property_readonly(
            "data",
            [](const Session& s) {
                return py::module_::import("os").attr("fsdecode")(py::bytes(s.dataRoot()));
            },
            "The data folder the session was initialised with.")
        .def("__repr__", [](const Session& s) {
            return "<quexal.Session " + std::to_string(s.width()) + "x" +
                   std::to_string(s.height()) + (s.topDown() ? " top-down" : " bottom-up") +
                   (s.closed() ? " closed>" : ">");
        });
}
