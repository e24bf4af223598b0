// Separable box filter in 16-bit fixed point: rows are blended first (only
// the source rows each output row needs, one output row at a time, so the
// temporary stays in cache), then columns. The column pass runs over far
// fewer rows than a horizontal-first order would.
#include "platform/shared/image_scale_shared.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace deskcap::platform::shared {
namespace {

// A weight of 1. Weights and blended values fit int16_t, so that SSE2's
// 16-bit multiplies serve both passes.
constexpr uint32_t kOne = 1u << 14;

// Every output index reads `taps` consecutive inputs from `first`, with
// weights summing to exactly kOne, so a flat colour comes out unchanged.
struct Axis {
  size_t taps = 0;
  std::vector<uint32_t> first;
  std::vector<int16_t> weights;  // taps per output index
};

// Output d covers input [d·n/m, (d+1)·n/m); in units of 1/m input pixel that
// is [d·n, (d+1)·n), and input s covers [s·m, (s+1)·m).
Axis weights_for(size_t n, size_t m) {
  Axis axis;
  for (size_t d = 0; d < m; ++d) {
    size_t s0 = d * n / m, s1 = ((d + 1) * n - 1) / m;
    axis.taps = std::max(axis.taps, s1 - s0 + 1);
  }
  axis.first.resize(m);
  axis.weights.assign(m * axis.taps, 0);
  for (size_t d = 0; d < m; ++d) {
    size_t lo = d * n, hi = (d + 1) * n;
    size_t s0 = lo / m, s1 = (hi - 1) / m;
    // Slid back at the far edge so every tap reads inside the input; the
    // extra taps then sit in front with weight 0.
    size_t start = std::min(s0, n - axis.taps);
    axis.first[d] = static_cast<uint32_t>(start);
    int16_t* w = &axis.weights[d * axis.taps + (s0 - start)];
    // Rounded running totals, so the rounding errors cancel out in the sum.
    uint64_t covered = 0;
    uint32_t given = 0;
    for (size_t s = s0; s <= s1; ++s) {
      covered += std::min((s + 1) * m, hi) - std::max(s * m, lo);
      uint32_t total = static_cast<uint32_t>((covered * kOne + n / 2) / n);
      *w++ = static_cast<int16_t>(total - given);
      given = total;
    }
  }
  return axis;
}

// Taps == 0: as many as the axis has.
template <size_t Taps>
void blend_columns(const int16_t* row, const Axis& across, size_t width, uint8_t* out) {
  const size_t taps = Taps != 0 ? Taps : across.taps;
  const int16_t* wx = across.weights.data();
  for (size_t x = 0; x < width; ++x, wx += taps) {
    const int16_t* p = row + size_t(across.first[x]) * 4;
    // At most kOne × 255 × 128 per sum.
    int32_t c[4] = {1 << 20, 1 << 20, 1 << 20, 1 << 20};
    for (size_t t = 0; t < taps; ++t, p += 4)
      for (int k = 0; k < 4; ++k) c[k] += wx[t] * p[k];
    for (int k = 0; k < 4; ++k) out[x * 4 + k] = static_cast<uint8_t>(c[k] >> 21);
  }
}

}  // namespace

bool scale_down_area(const uint8_t* src, size_t src_width, size_t src_height, size_t src_stride,
                     uint8_t* dst, size_t dst_width, size_t dst_height, size_t dst_stride) {
  if (src == nullptr || dst == nullptr || dst_width == 0 || dst_height == 0 ||
      dst_width > src_width || dst_height > src_height)
    return false;
  if (dst_width == src_width && dst_height == src_height) {
    for (size_t y = 0; y < src_height; ++y)
      std::memcpy(dst + y * dst_stride, src + y * src_stride, src_width * 4);
    return true;
  }
  try {
    const Axis across = weights_for(src_width, dst_width);
    const Axis down = weights_for(src_height, dst_height);
    const size_t values = src_width * 4;
    std::vector<int32_t> sums(values);
    // Blended rows hold value × 128: the second pass keeps 7 more bits.
    std::vector<int16_t> row(values);
    for (size_t y = 0; y < dst_height; ++y) {
      const int16_t* wy = &down.weights[y * down.taps];
      const uint8_t* in = src + size_t(down.first[y]) * src_stride;
      int32_t* acc = sums.data();
      const int16_t w0 = wy[0];
      for (size_t i = 0; i < values; ++i) acc[i] = w0 * int16_t(in[i]);
      for (size_t t = 1; t < down.taps; ++t) {
        const int16_t w = wy[t];
        if (w == 0) continue;
        const uint8_t* r = in + t * src_stride;
        for (size_t i = 0; i < values; ++i) acc[i] += w * int16_t(r[i]);
      }
      int16_t* blended = row.data();
      for (size_t i = 0; i < values; ++i) blended[i] = static_cast<int16_t>((acc[i] + 64) >> 7);

      uint8_t* out = dst + y * dst_stride;
      switch (across.taps) {  // a known count unrolls into straight vector code
        case 1: blend_columns<1>(blended, across, dst_width, out); break;
        case 2: blend_columns<2>(blended, across, dst_width, out); break;
        case 3: blend_columns<3>(blended, across, dst_width, out); break;
        case 4: blend_columns<4>(blended, across, dst_width, out); break;
        default: blend_columns<0>(blended, across, dst_width, out); break;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace deskcap::platform::shared
