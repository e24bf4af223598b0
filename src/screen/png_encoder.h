// PNG encoding of 8-bit RGBA pixels (premultiplied, rows top to bottom):
// colour type 6, depth 8, no interlace, the Sub filter on every row, zlib
// level 1 (stream header 78 01), no ancillary chunk. Written on zlib alone.
// Large images are cut into strips of rows compressed at once on the strip
// threads (one per processor) and joined into one zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/error.h"

namespace deskcap {

// Encodes `length` bytes of pixels (which must be width*height*4) into *png,
// which the caller may have reserved ahead. A failure is a GenericFailure with
// the encoder's own text ("Zero width not allowed", "Zero height not allowed",
// a length mismatch, "Out of memory while writing the PNG", or zlib's
// message); *png is then empty. Callers prefix "PNG encode failed: ". Blocks
// the calling thread until done.
Result<Unit> encode_png(const uint8_t* pixels, size_t length, uint32_t width, uint32_t height,
                        std::vector<uint8_t>* png);

// Draws rows [first, first + count) of the image as R, G, B, A into `out`
// (count * width * 4 bytes); false when they cannot be had. Called on the strip
// threads, for several ranges at once.
using PixelRows = std::function<bool(uint32_t first, uint32_t count, uint8_t* out)>;

// The same PNG, its rows drawn by `rows` a band at a time, each filtered and
// compressed while still in the cache: no full-size copy of the image. A
// failure of `rows` fails the encoding ("The image's rows could not be read").
Result<Unit> encode_png_rows(uint32_t width, uint32_t height, const PixelRows& rows, std::vector<uint8_t>* png);

// How an image is cut: `strips` strips of `rows_per_strip` rows, the last one
// holding what is left. One strip below about 1 MiB of rows; otherwise up to
// four per thread, and never more than 1 GiB of rows in one.
struct StripPlan {
  size_t strips = 1;
  uint32_t rows_per_strip = 0;
};
StripPlan plan_strips(uint32_t width, uint32_t height, size_t threads);

}  // namespace deskcap
