// The two glow pipelines of the colour effect. Each tones a row-order copy
// of the frame into a working image, blurs it there, and screens it back
// over the frame; they work band by band, so that every per-pixel step
// after the first finds its rows still in cache, and the frame costs about
// one read and write more than a tone and a blur of its own.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "core/row_order.h"

namespace quexal {

// Mode 18: the bright parts of the inverted sepia, blurred wide, screened
// over the inverted sepia itself. `work` is a continuous 8-bit 3-channel
// image of the frame size, top row first; `order` is the frame's.
void glowPipeline(uint8_t* frame, cv::Mat& work, RowOrder order);

// Mode 24: a lightly blurred grey of the inverted sepia's bright parts,
// screened over the untouched picture. Arguments as for glowPipeline.
void softGreyPipeline(uint8_t* frame, cv::Mat& work, RowOrder order);

}  // namespace quexal
