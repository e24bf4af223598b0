#include "png/png_encoder.h"

#include <png.h>

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
  if (width > kMaxDimension || height > kMaxDimension)
    return fail("Image " + std::to_string(width) + "x" + std::to_string(height) +
                " exceeds the PNG limit of 2147483647 pixels per side");

  size_t row_bytes = 0, expected = 0;
  bool overflow = __builtin_mul_overflow(static_cast<size_t>(width), size_t{4}, &row_bytes) ||
                  __builtin_mul_overflow(row_bytes, static_cast<size_t>(height), &expected);
  if (overflow || length != expected) {
    std::string text = "Pixel data length " + std::to_string(length) + " does not match " +
                       std::to_string(width) + "x" + std::to_string(height) + " RGBA (";
    text += overflow ? std::string("size overflows") : std::to_string(expected) + " bytes";
    return fail(text + ")");
  }
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
  return true;
}

}  // namespace deskcap
