// The frameworks hand doubles; results are 32-bit integers.
#pragma once

#include <cmath>
#include <cstdint>

namespace deskcap {

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

}  // namespace deskcap
