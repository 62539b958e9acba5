// Flames from a cellular heat map drawn through a palette.
#pragma once

#include <cstdint>

namespace quexal {

class CFireRoutine {
public:
    CFireRoutine() = default;
    virtual ~CFireRoutine() = default;

    void SetSize(int32_t width, int32_t height) {
        this->width = width;
        this->height = height;
    }

    int32_t width = 0;
    int32_t height = 0;
};

}  // namespace quexal
