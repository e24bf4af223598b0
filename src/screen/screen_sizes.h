// Number conversions shared by the display list and the two captures: the
// framework hands doubles, the results are 32-bit integers.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/platform.h"

namespace deskcap::screen_sizes {

// Clamped into 0..4294967295 and truncated toward zero; NaN is 0.
inline uint32_t truncate_u32(double v) {
  if (std::isnan(v) || v <= 0) return 0;
  if (v >= 4294967295.0) return 4294967295u;
  return static_cast<uint32_t>(v);
}

// Clamped into -2147483648..2147483647 and truncated toward zero; NaN is 0.
inline int32_t truncate_i32(double v) {
  if (std::isnan(v)) return 0;
  if (v <= -2147483648.0) return INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}

// Rounded to nearest with halves away from zero, then clamped; NaN is 0.
inline uint32_t round_u32(double v) {
  if (std::isnan(v)) return 0;
  return truncate_u32(std::round(v));
}

// Pixels per point of the display's current mode, from the widths alone; 1.0
// without a mode or with a point width of 0.
inline double display_scale(uint32_t display_id) {
  double scale = 1.0;
  platform::Ref<platform::DisplayMode> mode(platform::display_copy_mode(display_id));
  if (mode) {
    size_t pixel_width = platform::display_mode_pixel_width(mode.get());
    size_t point_width = platform::display_mode_width(mode.get());
    if (point_width != 0)
      scale = static_cast<double>(pixel_width) / static_cast<double>(point_width);
  }
  return scale;
}

}  // namespace deskcap::screen_sizes
