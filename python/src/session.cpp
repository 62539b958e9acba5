#include "session.h"

#include <climits>
#include <memory>

#include "arrays.h"

namespace quexal::python {

namespace {

// The Python classes the calls answer with, set once at import.
py::handle refusedType;
py::handle backgroundResultType;

constexpr int32_t kMaxCutLine = 100;  // percent of the height
constexpr int64_t kMaxRgb = 0xFFFFFF;

std::string sizeText(int64_t width, int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

int32_t checkedDimension(py::ssize_t size, const char* what) {
    if (size > INT32_MAX) throw py::value_error(std::string(what) + " is too large");
    return static_cast<int32_t>(size);
}

// 0xRRGGBB, as people write colours, to the library's 0xBBGGRR.
int32_t rgbToBgr(int64_t rgb) {
    return static_cast<int32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

// A file-system path for a message: os.fsdecode, so that a name that is not
// UTF-8 still reads (as surrogate escapes) instead of failing to.
std::string shown(const std::string& path) {
    py::object text = py::module_::import("os").attr("fsdecode")(py::bytes(path));
    return py::str(text.attr("encode")("utf-8", "backslashreplace").attr("decode")("utf-8"));
}

std::string maskSizeFor(int32_t kind) {
    return kind == 3 || kind == 4 ? "100x90" : "200x190";
}

}  // namespace

void loadPythonTypes() {
    py::module_ types = py::module_::import("quexal._types");
    refusedType = py::object(types.attr("Refused")).release();
    backgroundResultType = py::object(types.attr("BackgroundResult")).release();
}

void refuse(int32_t code, const std::string& reason) {
    py::object error = refusedType(code, reason);
    PyErr_SetObject(refusedType.ptr(), error.ptr());
    throw py::error_already_set();
}

Session::Session(int32_t width, int32_t height, bool topDown, const py::object& data)
    : width_(width), height_(height), topDown_(topDown) {
    if (width <= 0 || height <= 0)
        throw py::value_error("width and height must be positive, got " + sizeText(width, height));
    py::object root =
        data.is_none() ? py::module_::import("quexal._data").attr("data_root")() : data;
    dataRoot_ = py::module_::import("os").attr("fsencode")(root).cast<std::string>();

    std::unique_ptr<QxSession, decltype(&qx_session_destroy)> handle(qx_session_create(),
                                                                     qx_session_destroy);
    if (!handle) throw std::bad_alloc();
    // A negative height tells the library the first row is the top one.
    const int32_t signedHeight = topDown ? -height : height;
    int32_t rc;
    {
        py::gil_scoped_release nogil;
        rc = qx_init(handle.get(), dataRoot_.c_str(), width, signedHeight, 0, 0);
    }
    if (rc != QX_DONE)
        refuse(rc, "cannot initialise a " + sizeText(width, height) + " session with data folder " +
                       shown(dataRoot_) + " (too large, or no QXdata/ with both cascades there)");
    handle_ = handle.release();
}

Session::~Session() {
    qx_session_destroy(handle_);
}

void Session::close() {
    py::gil_scoped_release nogil;
    std::lock_guard lock(busy_);
    // Stops a playing background video and joins its thread.
    qx_session_destroy(handle_);
    handle_ = nullptr;
}

template <typename Call>
int32_t Session::run(Call&& call) {
    bool open;
    int32_t rc = 0;
    {
        py::gil_scoped_release nogil;
        std::lock_guard lock(busy_);
        open = handle_ != nullptr;
        if (open) rc = call(handle_);
    }
    if (!open) throw py::value_error("the session is closed");
    return rc;
}

py::array Session::frameArray(const py::object& frame, bool writable) const {
    return checkedArray(frame, {"frame", height_, width_, 3, writable});
}

py::object Session::colour(const py::object& frame, int32_t mode) {
    py::array a = frameArray(frame, true);
    uint8_t* pixels = static_cast<uint8_t*>(a.mutable_data());
    const int32_t rc = run([&](QxSession* s) { return qx_process_color(s, pixels, mode); });
    if (rc == QX_COLOR_BAD_MODE)
        refuse(rc, "colour mode " + std::to_string(mode) +
                       " is none of 16, 17, 18, 24, 25 (see quexal.Colour)");
    if (rc != QX_DONE) refuse(rc, "the session is not initialised");
    return frame;
}

py::object Session::lens(const py::object& frame, int32_t mode) {
    py::array a = frameArray(frame, true);
    uint8_t* pixels = static_cast<uint8_t*>(a.mutable_data());
    const int32_t rc = run([&](QxSession* s) { return qx_process_lens(s, pixels, mode); });
    if (rc == QX_LENS_BAD_MODE)
        refuse(rc, "lens mode " + std::to_string(mode) + " is not in 1..7 (see quexal.Lens)");
    if (rc != QX_DONE) refuse(rc, "the session is not initialised");
    return frame;
}

py::object Session::fire(const py::object& frame) {
    py::array a = frameArray(frame, true);
    uint8_t* pixels = static_cast<uint8_t*>(a.mutable_data());
    const int32_t rc = run([&](QxSession* s) { return qx_process_fire(s, pixels); });
    if (rc != QX_DONE) refuse(rc, "the session is not initialised");
    return frame;
}

py::object Session::mask(const py::object& frame, const py::object& eyes) {
    int32_t mode = QX_MASK_DRAW_PICTURE;
    if (!eyes.is_none()) {
        if (!py::isinstance<py::int_>(eyes))
            throw py::type_error("eyes must be None or a quexal.Eyes value");
        mode = eyes.cast<int32_t>();
        if (mode != QX_MASK_PIXELATE_EYES && mode != QX_MASK_BLUR_EYES)
            throw py::value_error(
                "eyes must be None, quexal.Eyes.PIXELATE (1) or "
                "quexal.Eyes.BLUR (2), got " +
                std::to_string(mode));
    }
    py::array a = frameArray(frame, true);
    uint8_t* pixels = static_cast<uint8_t*>(a.mutable_data());
    const int32_t rc = run([&](QxSession* s) { return qx_process_mask(s, pixels, mode, 0); });
    if (rc != QX_DONE)
        refuse(rc, "no mask picture yet (Session.set_mask_picture); the eye bands need one too");
    return frame;
}

void Session::setMaskPicture(const py::object& picture, int32_t kind) {
    py::array a = checkedArray(picture, {"rgba", 0, 0, 4, false});
    const int32_t height = checkedDimension(a.shape(0), "rgba height");
    const int32_t width = checkedDimension(a.shape(1), "rgba width");
    const uint8_t* pixels = static_cast<const uint8_t*>(a.data());
    const int32_t rc = run([&](QxSession* s) {
        return qx_set_mask_image(s, pixels, width, height, kind, QX_MASK_MAGIC, 0, 0);
    });
    if (rc == QX_DONE) return;
    if (rc == QX_MASK_IMAGE_BAD) {
        const int32_t why = qx_test_mask_image(nullptr, width, height, kind, QX_MASK_MAGIC, 0, 0);
        if (why == QX_TEST_MASK_BAD_KIND)
            refuse(rc, "mask kind " + std::to_string(kind) +
                           " is none of 1, 2, 3, 4, 8 (see quexal.MaskKind)");
        refuse(rc, "a picture of mask kind " + std::to_string(kind) + " must be " +
                       maskSizeFor(kind) + " (width x height), got " + sizeText(width, height));
    }
    if (rc == QX_MASK_IMAGE_NO_MEMORY) refuse(rc, "the picture could not be stored");
    refuse(rc, "the session is not initialised");
}

void Session::snapshot(const py::object& frame) {
    py::array a = frameArray(frame, false);
    const uint8_t* pixels = static_cast<const uint8_t*>(a.data());
    // The snapshot call takes the plain height: the row order is the session's.
    const int32_t rc =
        run([&](QxSession* s) { return qx_get_bkg_snapshot(s, pixels, width_, height_, 0); });
    hasSnapshot_ = rc == QX_DONE;
    if (!hasSnapshot_) refuse(rc, "the snapshot was refused");
}

void Session::setOption(const std::string& name, int32_t value) {
    const int32_t rc = run([&](QxSession* s) { return qx_set_option(s, name.c_str(), value); });
    if (rc == QX_OPTION_UNKNOWN) throw py::value_error("unknown option: " + name);
    if (rc == QX_OPTION_OUT_OF_RANGE)
        throw py::value_error("value " + std::to_string(value) + " is out of range for " + name);
}

void Session::setBackground(const py::object& source) {
    if (py::isinstance<py::array>(source)) return setBackgroundPicture(source);
    const bool isPath = py::isinstance<py::str>(source) || py::isinstance<py::bytes>(source) ||
                        py::hasattr(source, "__fspath__");
    if (!isPath)
        throw py::type_error(
            "set_background takes a numpy BGR picture (height, width, 3) or the "
            "path of a video file, got " +
            std::string(py::str(py::type::of(source).attr("__name__"))));
    setBackgroundVideo(source);
}

void Session::setBackgroundPicture(const py::object& picture) {
    py::array a = checkedArray(picture, {"picture", 0, 0, 3, false});
    const int32_t height = checkedDimension(a.shape(0), "picture height");
    const int32_t width = checkedDimension(a.shape(1), "picture width");
    const void* pixels = a.data();
    const int32_t rc =
        run([&](QxSession* s) { return qx_set_bkg(s, pixels, QX_BKG_PICTURE, width, height, 0); });
    if (rc == QX_DONE) return;
    refuse(rc, hasSnapshot_ ? "the background picture was refused"
                            : "take a snapshot of the empty scene first (Session.snapshot)");
}

void Session::setBackgroundVideo(const py::object& path) {
    const std::string file = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
    const int32_t rc =
        run([&](QxSession* s) { return qx_set_bkg(s, file.c_str(), QX_BKG_VIDEO, 0, 0, 0); });
    if (rc == QX_DONE) return;
    refuse(rc, hasSnapshot_ ? "the video " + shown(file) + " cannot be opened or gives no frame"
                            : "take a snapshot of the empty scene first (Session.snapshot)");
}

py::object Session::background(const py::object& frame, const py::object& halo, int32_t cutLine) {
    int32_t haloOn = 0;
    int32_t haloColour = 0;
    if (!halo.is_none()) {
        if (!py::isinstance<py::int_>(halo))
            throw py::type_error("halo must be None or a colour 0xRRGGBB");
        const int64_t rgb = halo.cast<int64_t>();
        if (rgb < 0 || rgb > kMaxRgb)
            throw py::value_error("halo must be a colour 0xRRGGBB in 0..0xFFFFFF");
        haloOn = 1;
        haloColour = rgbToBgr(rgb);
    }
    if (cutLine < 0 || cutLine > kMaxCutLine)
        throw py::value_error("cut_line is a percent of the height, 0 (none) to 100, got " +
                              std::to_string(cutLine));
    py::array a = frameArray(frame, true);
    uint8_t* pixels = static_cast<uint8_t*>(a.mutable_data());
    const int32_t rc = run(
        [&](QxSession* s) { return qx_process_bkg(s, pixels, haloOn, haloColour, cutLine, 0); });
    if (rc == QX_BKG_NO_SOURCE)
        refuse(rc, "no background source (Session.set_background), or the video gave no frame");
    if (rc == QX_BKG_NO_REFERENCE) refuse(rc, "no snapshot of the empty scene (Session.snapshot)");
    return backgroundResultType(rc);
}

}  // namespace quexal::python
