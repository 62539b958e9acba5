// quexal.Session: one QxSession behind a Python object. Frames are checked
// here with the GIL held; the library works on them with the GIL released,
// under a lock of the session's own, since the library allows one thread at
// a time on a session and Python code may share a session between threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "quexal/quexal.h"

namespace quexal::python {

namespace py = pybind11;

class Session {
public:
    // Initialises a session for frames of width x height; data None finds
    // the data folder. Throws Refused when the library refuses.
    Session(int32_t width, int32_t height, bool topDown, const py::object& data);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void close();
    bool closed() const { return handle_ == nullptr; }

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool topDown() const { return topDown_; }
    const std::string& dataRoot() const { return dataRoot_; }

    py::object colour(const py::object& frame, int32_t mode);
    py::object lens(const py::object& frame, int32_t mode);
    py::object fire(const py::object& frame);
    py::object mask(const py::object& frame, const py::object& eyes);
    void setMaskPicture(const py::object& picture, int32_t kind);
    void snapshot(const py::object& frame);
    void setBackground(const py::object& source);
    void setOption(const std::string& name, int32_t value);
    py::object background(const py::object& frame, const py::object& halo, int32_t cutLine);

private:
    // The frame as an array of this session's size, checked.
    py::array frameArray(const py::object& frame, bool writable) const;

    // Runs call(handle) without the GIL, under the session's lock; throws
    // ValueError on a closed session.
    template <typename Call>
    int32_t run(Call&& call);

    void setBackgroundPicture(const py::object& picture);
    void setBackgroundVideo(const py::object& path);

    QxSession* handle_ = nullptr;
    std::mutex busy_;  // one library call at a time on this session
    int32_t width_;
    int32_t height_;
    bool topDown_;
    std::string dataRoot_;
    bool hasSnapshot_ = false;  // only to name the reason of a refusal
};

// Looks up the Python classes the calls answer with (quexal._types); once,
// when the extension is imported.
void loadPythonTypes();

// Raises quexal.Refused(code, reason).
[[noreturn]] void refuse(int32_t code, const std::string& reason);

}  // namespace quexal::python
