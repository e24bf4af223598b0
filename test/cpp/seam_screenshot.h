// A screenshot of the first display taken through the platform seam as the
// capture drives it, for backends that complete inside the request (the fake
// with deliver "sync", the Linux backend always), read back as RGBA.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace seam_test {

namespace p = deskcap::platform;

struct Shot {
  size_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
  std::string at(size_t x, size_t y) const {
    const uint8_t* px = &rgba[(y * width + x) * 4];
    char s[10];
    return std::string(s, std::snprintf(s, sizeof s, "#%02x%02x%02x%02x", px[0], px[1], px[2], px[3]));
  }
};

inline void keep(void* context, p::Object* object, const char* error) {
  EXPECT_EQ(error, nullptr) << error;
  *static_cast<p::Object**>(context) = object;
}

// The first display at width × height of `crop` (or of the whole display).
inline Shot capture_first_display(size_t width, size_t height, bool cursor,
                                  std::optional<p::Rect> crop = std::nullopt) {
  p::Object* got = nullptr;
  p::get_shareable_content(false, false, &got, keep);
  p::Ref<p::ShareableContent> content(reinterpret_cast<p::ShareableContent*>(got));
  EXPECT_TRUE(content);
  if (!content) return {};
  auto displays = p::content_displays_copy(content.get());
  EXPECT_FALSE(displays.empty());
  if (displays.empty()) return {};
  p::Ref<p::ContentFilter> filter(p::filter_with_display_excluding_windows(displays[0].get(), {}));
  p::Ref<p::StreamConfiguration> configuration(p::configuration_create());
  p::configuration_set_width(configuration.get(), width);
  p::configuration_set_height(configuration.get(), height);
  p::configuration_set_shows_cursor(configuration.get(), cursor);
  if (crop) p::configuration_set_source_rect(configuration.get(), *crop);
  got = nullptr;
  p::capture_image(filter.get(), configuration.get(), &got, keep);
  p::Ref<p::Image> image(reinterpret_cast<p::Image*>(got));
  EXPECT_TRUE(image);
  if (!image) return {};
  Shot shot{p::image_width(image.get()), p::image_height(image.get()), {}};
  shot.rgba.resize(shot.width * shot.height * 4);
  EXPECT_TRUE(p::draw_image_rows_rgba(image.get(), shot.width, shot.height, 0, shot.height, shot.rgba.data()));
  return shot;
}

}  // namespace seam_test
