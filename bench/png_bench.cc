// PNG encoding speed on screen-like captures: median encode time, raw input
// throughput, output size, and the encode time relative to a memcpy of the
// same pixels measured in the same run.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>

#include "screen/png_encoder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Canvas {
  uint32_t width, height;
  std::vector<uint8_t> pixels;

  void blend(int x, int y, uint8_t r, uint8_t g, uint8_t b, double coverage) {
    if (x < 0 || y < 0 || x >= static_cast<int>(width) || y >= static_cast<int>(height)) return;
    uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    p[0] = static_cast<uint8_t>(p[0] + (r - p[0]) * coverage);
    p[1] = static_cast<uint8_t>(p[1] + (g - p[1]) * coverage);
    p[2] = static_cast<uint8_t>(p[2] + (b - p[2]) * coverage);
  }
  void fill(int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) blend(x, y, r, g, b, 1.0);
  }
};

uint32_t next(uint32_t& state) {  // xorshift: deterministic, fast
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// An anti-aliased disc, like the buttons of a title bar.
void disc(Canvas& c, double cx, double cy, double radius, uint8_t r, uint8_t g, uint8_t b) {
  for (int y = static_cast<int>(cy - radius - 1); y <= cy + radius + 1; ++y)
    for (int x = static_cast<int>(cx - radius - 1); x <= cx + radius + 1; ++x) {
      double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      double coverage = std::clamp(radius - d + 0.5, 0.0, 1.0);
      if (coverage > 0) c.blend(x, y, r, g, b, coverage);
    }
}

// Lines of text-like glyphs: a few strokes per cell with grey, anti-aliased edges.
void text_block(Canvas& c, int x0, int y0, int w, int h, int scale, uint32_t& seed) {
  int cell_w = 7 * scale, cell_h = 16 * scale;
  for (int line = y0; line + cell_h <= y0 + h; line += cell_h + 4 * scale) {
    int line_end = x0 + static_cast<int>(next(seed) % static_cast<uint32_t>(w / 2)) + w / 2;
    for (int x = x0; x + cell_w <= line_end; x += cell_w) {
      if (next(seed) % 6 == 0) continue;  // a space
      uint32_t glyph = next(seed);
      for (int stroke = 0; stroke < 3; ++stroke) {
        bool vertical = (glyph >> stroke) & 1;
        double pos = 1.0 + ((glyph >> (4 + stroke * 3)) % 5) * scale;
        int length = (vertical ? 9 : 5) * scale;
        for (int t = 0; t < length; ++t)
          for (int k = -1; k <= scale; ++k) {
            double coverage = k < 0 || k == scale ? 0.35 : 1.0;
            int px = vertical ? x + static_cast<int>(pos) + k : x + 1 + t;
            int py = vertical ? line + 3 * scale + t : line + 3 * scale + static_cast<int>(pos * 1.6) + k;
            c.blend(px, py, 30, 30, 34, coverage);
          }
      }
    }
  }
}

Canvas screen_like(uint32_t width, uint32_t height) {
  Canvas c{width, height, std::vector<uint8_t>(size_t{width} * height * 4, 255)};
  int scale = width >= 5000 ? 2 : 1;
  // Desktop: a smooth diagonal gradient.
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = &c.pixels[(size_t{y} * width + x) * 4];
      p[0] = static_cast<uint8_t>(40 + 80.0 * y / height);
      p[1] = static_cast<uint8_t>(70 + 60.0 * x / width);
      p[2] = static_cast<uint8_t>(140 + 90.0 * (x + y) / (width + height));
    }
  // Menu bar.
  c.fill(0, 0, static_cast<int>(width), 24 * scale, 236, 236, 238);
  uint32_t seed = 0x9E3779B9u;
  text_block(c, 40 * scale, 4 * scale, static_cast<int>(width) / 3, 18 * scale, scale, seed);
  // Windows, back to front: frame, title bar, buttons, text content.
  struct Window { double x, y, w, h; };
  const Window windows[] = {{0.05, 0.08, 0.55, 0.6}, {0.35, 0.2, 0.5, 0.55}, {0.12, 0.45, 0.45, 0.48}};
  for (const auto& win : windows) {
    int x = static_cast<int>(win.x * width), y = static_cast<int>(win.y * height);
    int w = static_cast<int>(win.w * width), h = static_cast<int>(win.h * height);
    c.fill(x - 1, y - 1, w + 2, h + 2, 150, 150, 155);  // border
    c.fill(x, y, w, h, 252, 252, 252);
    int bar = 28 * scale;
    for (int row = 0; row < bar; ++row) c.fill(x, y + row, w, 1, 232 - row / scale, 232 - row / scale, 235 - row / scale);
    c.fill(x, y + bar, w, 1, 200, 200, 204);
    disc(c, x + 14 * scale, y + bar / 2.0, 6 * scale, 255, 95, 87);
    disc(c, x + 34 * scale, y + bar / 2.0, 6 * scale, 255, 189, 46);
    disc(c, x + 54 * scale, y + bar / 2.0, 6 * scale, 40, 200, 64);
    text_block(c, x + 16 * scale, y + bar + 12 * scale, w - 32 * scale, h - bar - 24 * scale, scale, seed);
  }
  // A photo: smooth structure with sensor-like noise, in the front window.
  int px = static_cast<int>(0.5 * width), py = static_cast<int>(0.3 * height);
  int pw = static_cast<int>(0.3 * width), ph = static_cast<int>(0.3 * height);
  for (int y = py; y < py + ph; ++y)
    for (int x = px; x < px + pw; ++x) {
      double u = double(x - px) / pw, v = double(y - py) / ph;
      double base = 0.5 + 0.25 * std::sin(u * 9.0) * std::cos(v * 7.0) + 0.2 * u * v;
      int noise = static_cast<int>(next(seed) % 17) - 8;
      uint8_t* p = &c.pixels[(static_cast<size_t>(y) * width + x) * 4];
      p[0] = static_cast<uint8_t>(std::clamp(int(base * 230) + noise, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(int(base * 180 + 30 * v) + noise, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(int(base * 120 + 60 * u) + noise, 0, 255));
    }
  return c;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// This thread's CPU time: what the encode costs even when other processes
// share the cores (wall time then also counts the waiting).
double cpu_ms() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 9;
  if (runs < 1) runs = 1;
  std::printf("| Image | Raw input | Median encode | Throughput | PNG size | memcpy (median) | Encode / memcpy |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  const uint32_t sizes[][2] = {{2880, 1800}, {5120, 2880}};
  for (const auto& size : sizes) {
    Canvas canvas = screen_like(size[0], size[1]);
    const std::vector<uint8_t>& pixels = canvas.pixels;
    std::vector<uint8_t> copy(pixels.size(), 1);  // touched once, so no first-touch cost below
    std::vector<uint8_t> png;
    std::string error;
    std::vector<double> encode_ms, copy_ms, encode_cpu, copy_cpu;
    for (int i = 0; i <= runs; ++i) {  // the first round warms caches and is not counted
      auto start = Clock::now();
      double cpu_start = cpu_ms();
      if (!deskcap::encode_png(pixels.data(), pixels.size(), size[0], size[1], &png, &error)) {
        std::fprintf(stderr, "encode failed: %s\n", error.c_str());
        return 1;
      }
      double encode = since(start), encode_on_cpu = cpu_ms() - cpu_start;
      start = Clock::now();
      cpu_start = cpu_ms();
      std::memcpy(copy.data(), pixels.data(), pixels.size());
      double copied = since(start), copied_on_cpu = cpu_ms() - cpu_start;
      if (copy[copy.size() / 2] != pixels[pixels.size() / 2]) return 1;
      if (i > 0) {
        encode_ms.push_back(encode), copy_ms.push_back(copied);
        encode_cpu.push_back(encode_on_cpu), copy_cpu.push_back(copied_on_cpu);
      }
    }
    if (const char* dir = std::getenv("PNG_BENCH_SAVE")) {  // to look at what was measured
      std::string path = std::string(dir) + "/screen_" + std::to_string(size[0]) + "x" +
                         std::to_string(size[1]) + ".png";
      if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(png.data(), 1, png.size(), out);
        std::fclose(out);
      }
    }
    double encode = median(encode_ms), copied = median(copy_ms);
    double encode_c = median(encode_cpu), copied_c = median(copy_cpu);
    double mb = pixels.size() / 1e6;
    std::printf("| %ux%u | %.1f MB | %.1f ms (CPU %.1f ms) | %.0f MB/s (CPU %.0f MB/s) | %.2f MB (%.1f%% of raw) "
                "| %.2f ms (CPU %.2f ms) | %.0fx (CPU %.0fx) |\n",
                size[0], size[1], mb, encode, encode_c, mb / (encode / 1e3), mb / (encode_c / 1e3),
                png.size() / 1e6, 100.0 * png.size() / pixels.size(), copied, copied_c, encode / copied,
                encode_c / copied_c);
  }
  double load = -1;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  std::printf("\nMedian of %d runs after one warm-up; wall time, and this thread's CPU time in brackets; "
              "libpng %s, zlib %s; load average %.2f at the end.\n",
              runs, png_get_libpng_ver(nullptr), zlibVersion(), load);
  return 0;
}
