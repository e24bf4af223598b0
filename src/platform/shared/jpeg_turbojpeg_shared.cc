// JPEG through TurboJPEG: one compressor per call, so encodes on several
// threads share nothing but the loaded table.
#include <climits>
#include <memory>
#include <new>

#include "platform/shared/jpeg_shared.h"
#include "platform/shared/turbojpeg_library_shared.h"

namespace deskcap::platform::shared {
namespace {

std::string failed(const char* words) {
  return std::string("JPEG encode failed: ") + (words != nullptr ? words : "unknown error");
}

std::optional<std::string> encode(const TurboJpegLibrary& tj, const uint8_t* rows, size_t width,
                                  size_t height, size_t stride, int quality,
                                  std::vector<uint8_t>* out) {
  if (!tj.loaded) return std::string(kJpegLibraryMissing);
  if (out == nullptr) return failed("nowhere to put it");
  // TurboJPEG counts in int; JPEG itself stops far below that.
  if (width > INT_MAX || height > INT_MAX || stride > INT_MAX)
    return failed("the image is too large");
  auto destroy = [&tj](void* handle) { tj.tjDestroy(handle); };
  std::unique_ptr<void, decltype(destroy)> handle(tj.tjInitCompress(), destroy);
  if (!handle) return failed(tj.tjGetErrorStr2(nullptr));
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int status = tj.tjCompress2(handle.get(), rows, static_cast<int>(width),
                                    static_cast<int>(stride), static_cast<int>(height), TJPF_BGRX,
                                    &jpeg, &size, TJSAMP_420, quality, 0);
  // The library may have allocated a buffer even when it failed.
  auto free_buffer = [&tj](unsigned char* buffer) { tj.tjFree(buffer); };
  std::unique_ptr<unsigned char, decltype(free_buffer)> owned(jpeg, free_buffer);
  if (status != 0) return failed(tj.tjGetErrorStr2(handle.get()));
  try {
    out->assign(jpeg, jpeg + size);
  } catch (const std::bad_alloc&) {
    return failed("out of memory");
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> encode_jpeg_bgrx(const uint8_t* rows, size_t width, size_t height,
                                            size_t stride, int quality, std::vector<uint8_t>* out) {
  return encode(turbojpeg_library(), rows, width, height, stride, quality, out);
}

std::optional<std::string> encode_jpeg_bgrx_with(const char* soname, const uint8_t* rows,
                                                 size_t width, size_t height, size_t stride,
                                                 int quality, std::vector<uint8_t>* out) {
  return encode(load_turbojpeg_library(soname), rows, width, height, stride, quality, out);
}

}  // namespace deskcap::platform::shared
