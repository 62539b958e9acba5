// Plays a video file in a loop on its own thread and hands out its latest
// frame.
#pragma once

#include <cstdint>

namespace quexal {

class VideoReader {
public:
    void close() {}
};

}  // namespace quexal
