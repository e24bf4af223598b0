// Shrinking 8-bit four-channel images (any channel order, premultiplied or
// not) by area averaging, for the backends whose window server does not scale
// screenshots itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace deskcap::platform::shared {

// Each destination pixel is the mean of the source area it covers, partly
// covered source pixels weighted by their share: a box filter, so that text
// stays legible where nearest-neighbour would drop strokes. Needs
// 0 < dst_width <= src_width and 0 < dst_height <= src_height; equal sizes
// copy. False (nothing written) for other sizes or when memory runs out.
bool scale_down_area(const uint8_t* src, size_t src_width, size_t src_height, size_t src_stride,
                     uint8_t* dst, size_t dst_width, size_t dst_height, size_t dst_stride);

}  // namespace deskcap::platform::shared
