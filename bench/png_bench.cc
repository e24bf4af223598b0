// PNG encoding speed on screen-like captures: deskcap's encoder against libpng
// (level 1, Sub filter, default memory level) in the same process, runs
// interleaved; wall time, CPU time of the whole process (the strip threads
// included) and output size.
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
#include <unistd.h>

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

// CPU time of every thread of the process.
double cpu_ms() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void on_write(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// The baseline: libpng with the same settings, writing to a reused vector.
bool libpng_encode(const Canvas& c, std::vector<uint8_t>* out) {
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, on_write, nullptr);
  png_set_IHDR(png, info, c.width, c.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 1);
  png_write_info(png, info);
  for (uint32_t y = 0; y < c.height; ++y) png_write_row(png, c.pixels.data() + size_t{y} * c.width * 4);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

struct Timing {
  std::vector<double> wall, cpu;
  size_t size = 0;
};

template <class Encode>
bool measure(Timing& t, Encode encode, bool counted) {
  auto start = Clock::now();
  double cpu_start = cpu_ms();
  if (!encode()) return false;
  if (counted) t.wall.push_back(since(start)), t.cpu.push_back(cpu_ms() - cpu_start);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 9;
  if (runs < 1) runs = 1;
  std::printf("| Image | encoder | wall (median) | CPU (median) | PNG size |\n|---|---|---|---|---|\n");
  const uint32_t sizes[][2] = {{2880, 1800}, {5120, 2880}};
  double speedup = 0, cpu_ratio = 0, size_ratio = 0;
  for (const auto& size : sizes) {
    Canvas canvas = screen_like(size[0], size[1]);
    std::vector<uint8_t> ours_png, libpng_png;
    std::string error;
    Timing ours, theirs;
    for (int i = 0; i <= runs; ++i) {  // the first round warms caches and is not counted
      bool ok = measure(ours, [&] {
        auto encoded = deskcap::encode_png(canvas.pixels.data(), canvas.pixels.size(), size[0], size[1], &ours_png);
        if (!encoded.ok()) error = encoded.error().reason;
        return encoded.ok();
      }, i > 0) && measure(theirs, [&] { return libpng_encode(canvas, &libpng_png); }, i > 0);
      if (!ok) {
        std::fprintf(stderr, "encode failed: %s\n", error.c_str());
        return 1;
      }
    }
    if (const char* dir = std::getenv("PNG_BENCH_SAVE")) {  // to look at what was measured
      std::string path = std::string(dir) + "/screen_" + std::to_string(size[0]) + "x" +
                         std::to_string(size[1]) + ".png";
      if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(ours_png.data(), 1, ours_png.size(), out);
        std::fclose(out);
      }
    }
    for (auto* t : {&ours, &theirs})
      std::printf("| %ux%u | %s | %.1f ms | %.1f ms | %zu bytes |\n", size[0], size[1],
                  t == &ours ? "deskcap" : "libpng", median(t->wall), median(t->cpu),
                  t == &ours ? ours_png.size() : libpng_png.size());
    if (size[0] == 2880) {
      speedup = median(theirs.wall) / median(ours.wall);
      cpu_ratio = median(ours.cpu) / median(theirs.cpu);
      size_ratio = double(ours_png.size()) / double(libpng_png.size());
    }
  }
  double load = -1;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  std::printf("Median of %d interleaved runs after one warm-up; libpng %s, zlib %s (both encoders); "
              "%ld CPUs; load average %.2f at the end.\n",
              runs, png_get_libpng_ver(nullptr), zlibVersion(), sysconf(_SC_NPROCESSORS_ONLN), load);
  std::printf("encode speedup vs libpng: %.2f\n", speedup);
  std::printf("encode cpu vs libpng: %.2f\n", cpu_ratio);
  std::printf("encode size vs libpng: %.4f\n", size_ratio);
  return 0;
}
