// Registration of the mask picture: the host's picture is copied into the
// context, with its size, kind and aspect ratio.
#include <cstring>
#include <new>

#include "mask/face_mask.h"
#include "quexal/quexal.h"

namespace quexal {
namespace {

// The one size a kind of picture must have; false for an unknown kind.
bool sizeOfKind(int32_t kind, int32_t& width, int32_t& height) {
    switch (kind) {
        case 1:
        case 2:
        case 8:
            width = 200;
            height = 190;
            return true;
        case 3:
        case 4:
            width = 100;
            height = 90;
            return true;
        default: return false;
    }
}

bool sizeFitsKind(int32_t kind, int32_t width, int32_t height) {
    int32_t w = 0, h = 0;
    return sizeOfKind(kind, w, h) && width == w && height == h;
}

}  // namespace

int FaceMask::setPicture(const uint8_t* pixels, int32_t width, int32_t height, int32_t kind,
                         int32_t magic) {
    if (magic != QX_MASK_MAGIC || !sizeFitsKind(kind, width, height) || pixels == nullptr)
        return QX_MASK_IMAGE_BAD;

    // The new copy is made before anything of the old registration changes,
    // so that running out of memory leaves the previous picture in force.
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    std::vector<uint8_t> copy;
    try {
        copy.resize(bytes);
    } catch (const std::bad_alloc&) {
        return QX_MASK_IMAGE_NO_MEMORY;
    }
    std::memcpy(copy.data(), pixels, bytes);

    maskWidth = width;
    maskHeight = height;
    maskKind = kind;
    maskAspect = static_cast<float>(static_cast<double>(static_cast<uint32_t>(width)) /
                                    static_cast<double>(static_cast<uint32_t>(height)));
    maskPixels.swap(copy);
    redetect = 1;
    return QX_DONE;
}

int FaceMask::testPicture(int32_t width, int32_t height, int32_t kind, int32_t magic) {
    if (magic != QX_MASK_MAGIC) return QX_TEST_MASK_BAD_MAGIC;
    int32_t w = 0, h = 0;
    if (!sizeOfKind(kind, w, h)) return QX_TEST_MASK_BAD_KIND;
    if (width != w || height != h) return QX_TEST_MASK_BAD_SIZE;
    return QX_DONE;
}

}  // namespace quexal
