#include "screen/sub_filter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace deskcap {

void sub_filter(const uint8_t* row, size_t from, size_t to, uint8_t* out) {
  size_t i = from;
  for (; i < to && i < 4; ++i) *out++ = row[i];
  // Sixteen bytes at a time: the row against itself one pixel to the left.
#if defined(__SSE2__)
  for (; i + 16 <= to; i += 16, out += 16) {
    __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_sub_epi8(here, left));
  }
#elif defined(__ARM_NEON)
  for (; i + 16 <= to; i += 16, out += 16) vst1q_u8(out, vsubq_u8(vld1q_u8(row + i), vld1q_u8(row + i - 4)));
#endif
  for (; i < to; ++i) *out++ = static_cast<uint8_t>(row[i] - row[i - 4]);
}

}  // namespace deskcap
