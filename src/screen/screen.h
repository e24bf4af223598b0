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

struct CaptureRequest {
  uint32_t display_id = 0;
  std::optional<std::vector<uint32_t>> exclude_window_ids;
  std::optional<CropRect> crop;
};

// The active displays' ids as the display list gives them (possibly none).
Result<std::vector<uint32_t>> active_display_ids();
Result<std::vector<DisplayEntry>> get_displays();
// Pixels per point of the display's current mode, from the widths alone; 1.0
// without a mode or with a point width of 0.
double display_scale(uint32_t display_id);
Result<CapturedPng> capture_display(const CaptureRequest& request);
Result<CapturedPng> capture_window(uint32_t window_id);

}  // namespace deskcap
