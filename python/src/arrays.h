// Checks that a Python object is the numpy array a call needs, before any
// pointer reaches the library: the library cannot check a buffer's length,
// so shape, dtype and layout are settled here, with a message that names
// what was expected.
#pragma once

#include <pybind11/numpy.h>

namespace quexal::python {

namespace py = pybind11;

// What a call needs of an array; 0 in height or width means any size.
struct ArrayNeed {
    const char* name;  // the argument, as the message names it
    py::ssize_t height;
    py::ssize_t width;
    py::ssize_t channels;
    bool writable;
};

// Answers obj as an array meeting need; throws TypeError for something that
// is no uint8 numpy array and ValueError for a wrong shape or layout.
py::array checkedArray(const py::handle& obj, const ArrayNeed& need);

}  // namespace quexal::python
