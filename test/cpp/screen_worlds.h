// Builders of screen worlds and an independent PNG reader for the screen tests.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/fake/screen_fake.h"
#include "platform/fake/base_world_fake.h"

namespace screen_test {

using json = nlohmann::json;

inline json rect(double x, double y, double width, double height) {
  return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

inline json display(uint32_t id, json bounds, size_t pixel_width, size_t point_width, bool main = false) {
  return {{"id", id}, {"bounds", std::move(bounds)}, {"mode", {{"pixelWidth", pixel_width}, {"width", point_width}}},
          {"main", main}};
}

inline json window(uint32_t id, json frame, const char* fill, int pid = 100) {
  return {{"id", id}, {"frame", std::move(frame)}, {"fill", fill}, {"pid", pid}};
}

// `base` with the fields of `extra` set.
inline json plus(json base, const json& extra) {
  base.update(extra);
  return base;
}

inline void set_screen(json screen) { deskcap::fake::set_world(json{{"screen", std::move(screen)}}); }

// The probe of the current world, as its file would show it.
inline json probe() { return deskcap::fake::screen::probe()->snapshot(); }

// Pixels read back by libpng's own reader, not by anything of deskcap.
struct Decoded {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
  std::string error;
  // "#rrggbbaa" of one pixel, readable in failure messages.
  std::string at(uint32_t x, uint32_t y) const {
    if (x >= width || y >= height) return "outside";
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    char s[10];
    return std::string(s, std::snprintf(s, sizeof s, "#%02x%02x%02x%02x", p[0], p[1], p[2], p[3]));
  }
};

inline Decoded decode_png(const std::vector<uint8_t>& png) {
  Decoded d;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {0, 0, {}, image.message};
  image.format = PNG_FORMAT_RGBA;
  d.width = image.width;
  d.height = image.height;
  d.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, d.rgba.data(), 0, nullptr)) d.error = image.message;
  png_image_free(&image);
  return d;
}

// Checks that every fake framework object a test made was released.
class LeakCheck : public ::testing::Test {
 protected:
  void SetUp() override { baseline_ = deskcap::fake::live_objects(); }
  void TearDown() override { EXPECT_EQ(deskcap::fake::live_objects(), baseline_); }
  long baseline_ = 0;
};

}  // namespace screen_test
