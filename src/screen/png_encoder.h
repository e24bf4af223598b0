// PNG encoding of 8-bit RGBA pixels (premultiplied, rows top to bottom):
// colour type 6, depth 8, no interlace, the Sub filter on every row, zlib
// level 1, no ancillary chunk. Speed is chosen over size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace deskcap {

// Encodes `length` bytes of pixels (which must be width*height*4) into *png.
// On failure answers false with the encoder's own text in *error ("Zero width
// not allowed", "Zero height not allowed", a length mismatch, or libpng's
// message); *png is then empty. Callers prefix "PNG encode failed: ".
bool encode_png(const uint8_t* pixels, size_t length, uint32_t width, uint32_t height,
                std::vector<uint8_t>* png, std::string* error);

}  // namespace deskcap
