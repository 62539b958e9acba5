#include "arrays.h"

#include <string>

namespace quexal::python {

namespace {

std::string dimension(py::ssize_t size, const char* anySize) {
    return size > 0 ? std::to_string(size) : anySize;
}

std::string expectedShape(const ArrayNeed& need) {
    return "(" + dimension(need.height, "height") + ", " + dimension(need.width, "width") + ", " +
           std::to_string(need.channels) + ")";
}

std::string actualShape(const py::array& a) {
    std::string s = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i) s += (i ? ", " : "") + std::to_string(a.shape(i));
    return s + (a.ndim() == 1 ? ",)" : ")");
}

bool fits(py::ssize_t actual, py::ssize_t needed) {
    return needed > 0 ? actual == needed : actual > 0;
}

[[noreturn]] void wrongType(const ArrayNeed& need, const std::string& got) {
    throw py::type_error(std::string(need.name) + " must be a numpy uint8 array of shape " +
                         expectedShape(need) + ", got " + got);
}

}  // namespace

py::array checkedArray(const py::handle& obj, const ArrayNeed& need) {
    if (!py::isinstance<py::array>(obj))
        wrongType(need, std::string(py::str(py::type::of(obj).attr("__name__"))));
    py::array a = py::reinterpret_borrow<py::array>(obj);
    // One byte of unsigned integer a sample, whatever the byte order says.
    if (a.dtype().kind() != 'u' || a.itemsize() != 1)
        wrongType(need, "dtype " + std::string(py::str(a.dtype())));

    if (a.ndim() != 3 || !fits(a.shape(0), need.height) || !fits(a.shape(1), need.width) ||
        a.shape(2) != need.channels)
        throw py::value_error(std::string(need.name) + " must have shape " + expectedShape(need) +
                              ", got " + actualShape(a));
    if (!(a.flags() & py::array::c_style))
        throw py::value_error(std::string(need.name) +
                              " must be C-contiguous (a strided view or a transposed array is "
                              "not; numpy.ascontiguousarray makes a copy that is)");
    if (need.writable && !a.writeable())
        throw py::value_error(std::string(need.name) +
                              " must be writable (it is changed in place)");
    return a;
}

}  // namespace quexal::python
