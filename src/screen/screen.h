// Worker steps of the screen-capture exports. Each runs on a scheduler worker,
// blocks while the capture framework answers, and gives plain data or an Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"

namespace deskcap {

struct DisplayEntry {
  uint32_t id = 0;
  std::string name;
  int32_t x = 0, y = 0;
  uint32_t width = 0, height = 0;
  double scale_factor = 1.0;
  bool is_primary = false;
};

// A complete PNG file and its pixel size.
struct CapturedPng {
  std::vector<uint8_t> png;
  uint32_t width = 0;
  uint32_t height = 0;
};

struct CropRect {
  double x = 0, y = 0, width = 0, height = 0;
};

enum class ImageFormat { Png, Jpeg, Raw };

// What a capture makes of the area it captures. The defaults are the
// full-size PNG without the cursor.
struct OutputOptions {
  ImageFormat format = ImageFormat::Png;
  int quality = 80;  // 1..100, JPEG only
  // The image fits inside both, its aspect kept; never enlarged.
  std::optional<uint32_t> max_width, max_height;
  bool show_cursor = false;
};

// A capture's image: `bytes` is a PNG or JPEG file, or raw RGBA rows (top to
// bottom, no padding). `scale` is its pixels per point of the captured area.
struct Screenshot {
  std::vector<uint8_t> bytes;
  uint32_t width = 0;
  uint32_t height = 0;
  ImageFormat format = ImageFormat::Png;
  double scale = 1.0;
};

struct CaptureRequest {
  uint32_t display_id = 0;
  std::optional<std::vector<uint32_t>> exclude_window_ids;
  std::optional<CropRect> crop;
  OutputOptions output;
};

struct PixelSize {
  uint32_t width = 0, height = 0;
  bool operator==(const PixelSize& o) const { return width == o.width && height == o.height; }
};

// `native` scaled down to fit inside the limits, its aspect kept, never
// enlarged: the side that limits takes its limit exactly, and the other is
// scaled by the same factor and rounded to the nearest pixel (halves up), at
// least 1.
PixelSize fit_within(PixelSize native, std::optional<uint32_t> max_width, std::optional<uint32_t> max_height);

// The active displays' ids as the display list gives them (possibly none).
Result<std::vector<uint32_t>> active_display_ids();
Result<std::vector<DisplayEntry>> get_displays();
// Pixels per point of the display's current mode, from the widths alone; 1.0
// without a mode or with a point width of 0.
double display_scale(uint32_t display_id);
Result<Screenshot> capture_display(const CaptureRequest& request);
Result<Screenshot> capture_window(uint32_t window_id, const OutputOptions& output = {});

}  // namespace deskcap
