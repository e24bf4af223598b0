// Built without TurboJPEG's header: no JPEG encoder can be reached.
#include "platform/shared/jpeg_shared.h"

namespace deskcap::platform::shared {

std::optional<std::string> encode_jpeg_bgrx(const uint8_t*, size_t, size_t, size_t, int,
                                            std::vector<uint8_t>*) {
  return std::string(kJpegLibraryMissing);
}

std::optional<std::string> encode_jpeg_bgrx_with(const char*, const uint8_t*, size_t, size_t,
                                                 size_t, int, std::vector<uint8_t>*) {
  return std::string(kJpegLibraryMissing);
}

}  // namespace deskcap::platform::shared
