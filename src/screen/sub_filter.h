// The PNG Sub filter for 4-byte pixels: each byte minus the byte four places
// to its left (the first pixel's bytes as they are), modulo 256.
#pragma once

#include <cstddef>
#include <cstdint>

namespace deskcap {

// Filters bytes [from, to) of `row` into out[0, to - from); `out` must not
// overlap the row.
void sub_filter(const uint8_t* row, size_t from, size_t to, uint8_t* out);

}  // namespace deskcap
