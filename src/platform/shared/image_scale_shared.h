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

// A rectangle within an image, in pixels.
struct Region {
  size_t x = 0, y = 0, width = 0, height = 0;
};
struct ScaleSizes {
  size_t src_width = 0, src_height = 0, dst_width = 0, dst_height = 0;
};

// The output pixels whose value depends on any source pixel in `source`,
// and the source pixels the output pixels in `output` read; each clipped to
// its image. Empty for sizes scale_down_area refuses.
Region area_outputs_reading(const ScaleSizes& sizes, const Region& source);
Region area_source_read(const ScaleSizes& sizes, const Region& output);

// Only the output pixels in `output` of scale_down_area, bit for bit:
// dst is the whole output image, src holds the source pixels of `held`
// (at least area_source_read of `output`), its first byte at held's top-left
// pixel. False, nothing written, when `held` falls short or the sizes or
// the rectangle do not fit.
bool scale_down_area_region(const uint8_t* src, const Region& held, size_t src_stride, uint8_t* dst,
                            size_t dst_stride, const ScaleSizes& sizes, const Region& output);

}  // namespace deskcap::platform::shared
