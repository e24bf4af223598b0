#include "screen/png_encoder.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace deskcap {
namespace {

// The PNG limit on either dimension (2^31 - 1).
constexpr uint32_t kMaxDimension = 0x7fffffffu;
// zlib's output is handed to libpng in blocks of this size, which become the
// IDAT chunks: big enough that the per-chunk and per-callback cost vanishes.
constexpr size_t kIdatBlock = 256 * 1024;
// A smaller match hash than zlib's default 8 stays in cache: 4-6% less time on
// screen-like captures, same size within 0.1%. Level and window (the 0x78 0x01
// header) are unchanged.
constexpr int kMemLevel = 7;

// Everything libpng's callbacks touch, and everything that must survive a
// longjmp, is plain data here: no destructor runs between setjmp and longjmp.
struct EncodeJob {
  const uint8_t* pixels;
  uint32_t width;
  uint32_t height;
  size_t row_bytes;
  std::vector<uint8_t>* out;  // owned by encode_png, outside the setjmp region
  char message[256];
};

// Appends without letting an exception into libpng's C frames.
bool append(std::vector<uint8_t>* out, const uint8_t* data, size_t length) noexcept {
  try {
    out->insert(out->end(), data, data + length);
    return true;
  } catch (...) {
    return false;
  }
}

void on_write(png_structp png, png_bytep data, size_t length) {
  auto* job = static_cast<EncodeJob*>(png_get_io_ptr(png));
  if (!append(job->out, data, length)) png_error(png, "Out of memory while writing the PNG");
}

void on_flush(png_structp) {}

// libpng expects this not to return: keep its text, then jump back to run_libpng.
[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  auto* job = static_cast<EncodeJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "%s",
                message != nullptr ? message : "libpng error");
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

// The only function with a setjmp. Its locals are C pointers assigned before
// setjmp and never changed after it, so they are valid when longjmp returns here.
bool run_libpng(EncodeJob* job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, on_error, on_warning);
  if (png == nullptr) {
    std::snprintf(job->message, sizeof job->message, "Out of memory creating the PNG writer");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(job->message, sizeof job->message, "Out of memory creating the PNG info");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }

  png_set_write_fn(png, job, on_write, on_flush);
  png_set_user_limits(png, kMaxDimension, kMaxDimension);
  png_set_IHDR(png, info, job->width, job->height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 1);
  png_set_compression_mem_level(png, kMemLevel);
  png_set_compression_buffer_size(png, kIdatBlock);
  png_write_info(png, info);
  // Rows straight from the caller's block: libpng copies each into its own
  // filter buffer anyway.
  for (uint32_t y = 0; y < job->height; ++y)
    png_write_row(png, job->pixels + static_cast<size_t>(y) * job->row_bytes);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}


uint32_t read_be32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}

void put_be32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Offset of the first chunk named `name` at or after `from`, or npos.
size_t find_chunk(const std::vector<uint8_t>& png, const char* name, size_t from = 8) {
  while (from + 12 <= png.size()) {
    size_t length = read_be32(&png[from]);
    if (length > png.size() - from - 12) break;
    if (std::memcmp(&png[from + 4], name, 4) == 0) return from;
    from += 12 + length;
  }
  return std::string::npos;
}

void seal_chunk(uint8_t* chunk, size_t length) {
  put_be32(chunk + 8 + length, static_cast<uint32_t>(crc32(0, chunk + 4, static_cast<uInt>(length + 4))));
}

// libpng shrinks the declared zlib window of small images (under 16 KiB of
// row data), which changes the stream's first byte. Declaring the full 32 KiB
// window is always valid for a stream made with a smaller one, and keeps the
// header 0x78 0x01 for every image.
void declare_full_window(std::vector<uint8_t>& png) {
  size_t at = find_chunk(png, "IDAT");
  if (at == std::string::npos || read_be32(&png[at]) < 2 || png[at + 8] == 0x78) return;
  uint8_t level = png[at + 9] & 0xC0;  // FLEVEL kept, no preset dictionary
  png[at + 8] = 0x78;
  png[at + 9] = static_cast<uint8_t>(level + (31 - (0x7800u + level) % 31) % 31);
  seal_chunk(&png[at], read_be32(&png[at]));
}

// libpng writes the rows of a one-pixel-wide image unfiltered, since Sub
// changes no byte of a 4-byte row. The rows are packed again with the type
// byte 1, so that every image has the same filter on every row.
bool refilter_single_column(std::vector<uint8_t>& png, uint32_t height, std::string* error) {
  size_t first = find_chunk(png, "IDAT"), end = find_chunk(png, "IEND");
  if (first == std::string::npos || end == std::string::npos) {
    *error = "PNG writer produced no image data";
    return false;
  }
  std::vector<uint8_t> stream, rows(size_t{height} * 5);
  for (size_t at = first; at != std::string::npos && at < end; at = find_chunk(png, "IDAT", at + 12 + read_be32(&png[at])))
    stream.insert(stream.end(), &png[at + 8], &png[at + 8] + read_be32(&png[at]));
  uLongf inflated = rows.size();
  if (uncompress(rows.data(), &inflated, stream.data(), stream.size()) != Z_OK || inflated != rows.size()) {
    *error = "PNG writer produced unreadable image data";
    return false;
  }
  for (size_t i = 0; i < rows.size(); i += 5) rows[i] = 1;
  uLongf packed = compressBound(rows.size());
  stream.resize(packed);
  if (compress2(stream.data(), &packed, rows.data(), rows.size(), 1) != Z_OK) {
    *error = "Out of memory while compressing the PNG";
    return false;
  }
  std::vector<uint8_t> iend(png.begin() + static_cast<ptrdiff_t>(end), png.end());
  png.resize(first);
  constexpr size_t kMaxChunk = size_t{1} << 30;
  for (size_t done = 0; done < packed;) {
    size_t length = std::min<size_t>(kMaxChunk, packed - done);
    size_t at = png.size();
    png.resize(at + 12 + length);
    put_be32(&png[at], static_cast<uint32_t>(length));
    std::memcpy(&png[at + 4], "IDAT", 4);
    std::memcpy(&png[at + 8], &stream[done], length);
    seal_chunk(&png[at], length);
    done += length;
  }
  png.insert(png.end(), iend.begin(), iend.end());
  return true;
}

}  // namespace

bool encode_png(const uint8_t* pixels, size_t length, uint32_t width, uint32_t height,
                std::vector<uint8_t>* png, std::string* error) {
  png->clear();
  auto fail = [&](std::string text) {
    png->clear();
    png->shrink_to_fit();
    *error = std::move(text);
    return false;
  };
  if (width == 0) return fail("Zero width not allowed");
  if (height == 0) return fail("Zero height not allowed");

  size_t row_bytes = 0, expected = 0;
  bool overflow = __builtin_mul_overflow(static_cast<size_t>(width), size_t{4}, &row_bytes) ||
                  __builtin_mul_overflow(row_bytes, static_cast<size_t>(height), &expected);
  if (overflow || length != expected) {
    std::string text = "Pixel data length " + std::to_string(length) + " does not match " +
                       std::to_string(width) + "x" + std::to_string(height) + " RGBA (";
    text += overflow ? std::string("size overflows") : std::to_string(expected) + " bytes";
    return fail(text + ")");
  }
  if (width > kMaxDimension || height > kMaxDimension)
    return fail("Image " + std::to_string(width) + "x" + std::to_string(height) +
                " exceeds the PNG limit of 2147483647 pixels per side");
  if (pixels == nullptr) return fail("Pixel data missing");

  try {
    // Screens compress to a few percent of their raw size with Sub + level 1;
    // start there and let the vector double when a noisy image needs more.
    png->reserve(expected / 16 + 4096);
  } catch (...) {
    return fail("Out of memory reserving the PNG output");
  }

  EncodeJob job{};
  job.pixels = pixels;
  job.width = width;
  job.height = height;
  job.row_bytes = row_bytes;
  job.out = png;
  if (!run_libpng(&job)) return fail(job.message);
  try {
    std::string trouble;
    if (width == 1 && !refilter_single_column(*png, height, &trouble)) return fail(trouble);
  } catch (const std::bad_alloc&) {
    return fail("Out of memory while compressing the PNG");
  }
  declare_full_window(*png);
  return true;
}

}  // namespace deskcap
