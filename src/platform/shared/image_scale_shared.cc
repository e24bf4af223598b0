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

// The most inputs any output index reads when n inputs make m outputs.
size_t taps_for(size_t n, size_t m) {
  size_t taps = 0;
  for (size_t d = 0; d < m; ++d) taps = std::max(taps, ((d + 1) * n - 1) / m - d * n / m + 1);
  return taps;
}

// Output d's first input, slid back at the far edge so that every tap reads
// inside the input; the extra taps then sit in front with weight 0.
size_t first_for(size_t n, size_t m, size_t taps, size_t d) { return std::min(d * n / m, n - taps); }

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
  axis.taps = taps_for(n, m);
  axis.first.resize(m);
  axis.weights.assign(m * axis.taps, 0);
  for (size_t d = 0; d < m; ++d) {
    size_t lo = d * n, hi = (d + 1) * n;
    size_t s0 = lo / m, s1 = (hi - 1) / m;
    size_t start = first_for(n, m, axis.taps, d);
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

struct Span {
  size_t begin = 0, end = 0;
};

// [begin, begin + length) within [0, limit).
Span clipped(size_t begin, size_t length, size_t limit) {
  if (begin >= limit) return {};
  return Span{begin, begin + std::min(length, limit - begin)};
}

// The inputs that outputs [begin, end) read, the zero-weight taps included.
Span read_by(size_t n, size_t m, Span out) {
  if (out.begin >= out.end) return {};
  const size_t taps = taps_for(n, m);
  return Span{first_for(n, m, taps, out.begin), first_for(n, m, taps, out.end - 1) + taps};
}

// The outputs whose area overlaps inputs [begin, end): d·n < end·m and
// begin·m < (d + 1)·n.
Span reading(size_t n, size_t m, Span in) {
  if (in.begin >= in.end) return {};
  return Span{in.begin * m / n, std::min(m, (in.end * m + n - 1) / n)};
}

Region region_of(Span x, Span y) {
  if (x.begin >= x.end || y.begin >= y.end) return {};
  return Region{x.begin, y.begin, x.end - x.begin, y.end - y.begin};
}

bool fits(const ScaleSizes& s) {
  return s.dst_width != 0 && s.dst_height != 0 && s.dst_width <= s.src_width && s.dst_height <= s.src_height;
}

// Outputs [x0, x0 + width) of a blended row that holds inputs from `origin` on.
// Taps == 0: as many as the axis has.
template <size_t Taps>
void blend_columns(const int16_t* row, size_t origin, const Axis& across, size_t x0, size_t width, uint8_t* out) {
  const size_t taps = Taps != 0 ? Taps : across.taps;
  const int16_t* wx = across.weights.data() + x0 * taps;
  for (size_t x = 0; x < width; ++x, wx += taps) {
    const int16_t* p = row + (size_t(across.first[x0 + x]) - origin) * 4;
    // At most kOne × 255 × 128 per sum.
    int32_t c[4] = {1 << 20, 1 << 20, 1 << 20, 1 << 20};
    for (size_t t = 0; t < taps; ++t, p += 4)
      for (int k = 0; k < 4; ++k) c[k] += wx[t] * p[k];
    for (int k = 0; k < 4; ++k) out[x * 4 + k] = static_cast<uint8_t>(c[k] >> 21);
  }
}

}  // namespace

Region area_outputs_reading(const ScaleSizes& s, const Region& source) {
  if (!fits(s)) return {};
  return region_of(reading(s.src_width, s.dst_width, clipped(source.x, source.width, s.src_width)),
                   reading(s.src_height, s.dst_height, clipped(source.y, source.height, s.src_height)));
}

Region area_source_read(const ScaleSizes& s, const Region& output) {
  if (!fits(s)) return {};
  return region_of(read_by(s.src_width, s.dst_width, clipped(output.x, output.width, s.dst_width)),
                   read_by(s.src_height, s.dst_height, clipped(output.y, output.height, s.dst_height)));
}

bool scale_down_area(const uint8_t* src, size_t src_width, size_t src_height, size_t src_stride,
                     uint8_t* dst, size_t dst_width, size_t dst_height, size_t dst_stride) {
  return scale_down_area_region(src, Region{0, 0, src_width, src_height}, src_stride, dst, dst_stride,
                                ScaleSizes{src_width, src_height, dst_width, dst_height},
                                Region{0, 0, dst_width, dst_height});
}

bool scale_down_area_region(const uint8_t* src, const Region& held, size_t src_stride, uint8_t* dst,
                            size_t dst_stride, const ScaleSizes& sizes, const Region& output) {
  if (src == nullptr || dst == nullptr || !fits(sizes) || output.x > sizes.dst_width ||
      output.width > sizes.dst_width - output.x || output.y > sizes.dst_height ||
      output.height > sizes.dst_height - output.y)
    return false;
  if (output.width == 0 || output.height == 0) return true;
  const Region need = area_source_read(sizes, output);
  if (need.x < held.x || need.y < held.y || need.x - held.x + need.width > held.width ||
      need.y - held.y + need.height > held.height)
    return false;
  // The source's pixel (x, y).
  auto at = [&](size_t x, size_t y) { return src + (y - held.y) * src_stride + (x - held.x) * 4; };
  if (sizes.dst_width == sizes.src_width && sizes.dst_height == sizes.src_height) {
    for (size_t y = output.y; y < output.y + output.height; ++y)
      std::memcpy(dst + y * dst_stride + output.x * 4, at(output.x, y), output.width * 4);
    return true;
  }
  try {
    const Axis across = weights_for(sizes.src_width, sizes.dst_width);
    const Axis down = weights_for(sizes.src_height, sizes.dst_height);
    const size_t values = need.width * 4;
    std::vector<int32_t> sums(values);
    // Blended rows hold value × 128: the second pass keeps 7 more bits.
    std::vector<int16_t> row(values);
    for (size_t y = output.y; y < output.y + output.height; ++y) {
      const int16_t* wy = &down.weights[y * down.taps];
      const uint8_t* in = at(need.x, down.first[y]);
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

      uint8_t* out = dst + y * dst_stride + output.x * 4;
      const size_t x0 = output.x, width = output.width;
      switch (across.taps) {  // a known count unrolls into straight vector code
        case 1: blend_columns<1>(blended, need.x, across, x0, width, out); break;
        case 2: blend_columns<2>(blended, need.x, across, x0, width, out); break;
        case 3: blend_columns<3>(blended, need.x, across, x0, width, out); break;
        case 4: blend_columns<4>(blended, need.x, across, x0, width, out); break;
        default: blend_columns<0>(blended, need.x, across, x0, width, out); break;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace deskcap::platform::shared
