// JPEG encoding for the backends without ImageIO (the Linux product and the
// fake world): libjpeg-turbo's TurboJPEG library, opened at first use so that
// the addon loads where it is not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deskcap::platform::shared {

inline constexpr char kJpegLibrarySoname[] = "libturbojpeg.so.0";
inline constexpr char kJpegLibraryMissing[] =
    "JPEG encoding needs libjpeg-turbo's TurboJPEG library (libturbojpeg.so.0), which could not be "
    "loaded";

// Rows of 8-bit B G R x pixels (the fourth byte ignored), `stride` bytes
// apart, as a baseline 4:2:0 JPEG at `quality` (1..100) into *out, its old
// contents replaced. Answers nullopt, kJpegLibraryMissing, or "JPEG encode
// failed: " and the encoder's words. Thread: any, several at once.
std::optional<std::string> encode_jpeg_bgrx(const uint8_t* rows, size_t width, size_t height,
                                            size_t stride, int quality, std::vector<uint8_t>* out);

// The same through the library named `soname`, loaded for this call alone, so
// that a test can ask for one that is not installed.
std::optional<std::string> encode_jpeg_bgrx_with(const char* soname, const uint8_t* rows,
                                                 size_t width, size_t height, size_t stride,
                                                 int quality, std::vector<uint8_t>* out);

}  // namespace deskcap::platform::shared
