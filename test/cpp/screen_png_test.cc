// The encoder's files are judged by decoders this project did not write:
// libpng for the pixels, zlib for the stream the chunks carry.
#include "screen/png_encoder.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <tuple>

#include "screen/png_strip_pool.h"
#include "screen_worlds.h"

namespace deskcap {
namespace {

uint32_t be32(const uint8_t* at) { return uint32_t{at[0]} << 24 | at[1] << 16 | at[2] << 8 | at[3]; }

// What is wrong with the file's layout ("" if nothing): signature, chunk order, CRCs,
// one zlib stream (78 01) in the IDATs that inflates to exactly the Sub-filtered rows.
std::string layout_fault(const std::vector<uint8_t>& png, const std::vector<uint8_t>& pixels, uint32_t width,
                         uint32_t height) {
  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (png.size() < 8 || std::memcmp(png.data(), signature, 8) != 0) return "bad signature";
  std::string names;
  std::vector<uint8_t> idat;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = be32(&png[at]);
    if (length > png.size() - at - 12) return "truncated chunk";
    const std::string name(reinterpret_cast<const char*>(&png[at + 4]), 4);
    if (crc32(0, &png[at + 4], length + 4) != be32(&png[at + 8 + length])) return "bad CRC in " + name;
    if (name == "IHDR" && (length != 13 || be32(&png[at + 8]) != width || be32(&png[at + 12]) != height ||
                           std::memcmp(&png[at + 16], "\x08\x06\0\0\0", 5) != 0))
      return "IHDR";
    if (name == "IDAT") idat.insert(idat.end(), &png[at + 8], &png[at + 8 + length]);
    names += names.empty() || names.substr(names.size() - 4) != name ? name : "";
    at += 12 + length;
    if (name == "IEND") break;
  }
  if (at != png.size() || names != "IHDRIDATIEND") return "chunks " + names;
  if (idat.size() < 2 || idat[0] != 0x78 || idat[1] != 0x01) return "zlib header";
  const size_t line = size_t{width} * 4 + 1;
  std::vector<uint8_t> rows(line * height + 1);
  uLongf inflated = rows.size();
  if (uncompress(rows.data(), &inflated, idat.data(), idat.size()) != Z_OK) return "zlib stream";
  if (inflated != line * height) return "inflated " + std::to_string(inflated) + " bytes";
  for (size_t y = 0; y < height; ++y) {
    if (rows[y * line] != 1) return "row " + std::to_string(y) + " without the Sub filter";
    for (size_t i = 0; i + 1 < line; ++i) {
      const uint8_t* row = &pixels[y * (line - 1)];
      if (rows[y * line + 1 + i] != static_cast<uint8_t>(row[i] - (i >= 4 ? row[i - 4] : 0)))
        return "row " + std::to_string(y) + " filtered wrongly";
    }
  }
  return "";
}

void expect_decodes_to(const std::vector<uint8_t>& png, const std::vector<uint8_t>& pixels, uint32_t width,
                       uint32_t height, const std::string& name) {
  const screen_test::Decoded got = screen_test::decode_png(png);
  EXPECT_TRUE(got.rgba == pixels) << name << ": libpng read other pixels " << got.error;
  EXPECT_EQ(std::make_pair(got.width, got.height), std::make_pair(width, height)) << name;
  EXPECT_EQ(layout_fault(png, pixels, width, height), "") << name;
}

std::vector<uint8_t> noise(uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<uint8_t> pixels(size_t{width} * height * 4);
  std::mt19937 random(seed);
  for (auto& byte : pixels) byte = static_cast<uint8_t>(random());
  return pixels;
}

// Rows copied from `pixels`, as a capture's drawing would give them.
PixelRows rows_of(const std::vector<uint8_t>& pixels, uint32_t width) {
  return [&pixels, width](uint32_t first, uint32_t count, uint8_t* out) {
    std::memcpy(out, pixels.data() + size_t{first} * width * 4, size_t{count} * width * 4);
    return true;
  };
}

// Both ways in, from memory and drawn a band at a time into reused buffers,
// must write the very same file.
std::vector<uint8_t> encode_ok(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height) {
  std::vector<uint8_t> png, drawn;
  auto from_memory = encode_png(pixels.data(), pixels.size(), width, height, &png);
  EXPECT_TRUE(from_memory.ok()) << from_memory.error().reason;
  auto from_rows = encode_png_rows(width, height, rows_of(pixels, width), &drawn);
  EXPECT_TRUE(from_rows.ok()) << from_rows.error().reason;
  EXPECT_TRUE(drawn == png) << width << "x" << height << ": drawn rows encode differently";
  return png;
}

TEST(PngEncoder, SmallImagesRoundTripIncludingFilterWraparound) {
  // Neighbours that make Sub wrap below zero, varied alpha, and odd sizes.
  const std::vector<uint8_t> three_by_two = {250, 5, 0, 255, 5, 250, 255, 0, 0, 0, 0, 128,
                                             1, 2, 3, 4, 255, 255, 255, 255, 9, 8, 7, 6};
  expect_decodes_to(encode_ok(three_by_two, 3, 2), three_by_two, 3, 2, "3x2");
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{1, 1}, {1, 37}, {513, 1}}) {
    const std::vector<uint8_t> pixels = noise(w, h, w + h);
    expect_decodes_to(encode_ok(pixels, w, h), pixels, w, h, std::to_string(w) + "x" + std::to_string(h));
  }
}

// A flat screen with a frame and a title bar.
std::vector<uint8_t> flat_screen(uint32_t width, uint32_t height) {
  std::vector<uint8_t> screen(size_t{width} * height * 4);
  for (size_t i = 0; i < screen.size(); i += 4) {
    size_t x = (i / 4) % width, y = (i / 4) / width;
    bool frame = x == width / 10 || x == width - width / 10 || y == height / 14 ||
                 (y > height / 14 && y < height / 9 && x > width / 10);
    screen[i] = frame ? 60 : 236, screen[i + 1] = frame ? 60 : 236, screen[i + 2] = frame ? 70 : 240;
    screen[i + 3] = 255;
  }
  return screen;
}

// Sizes on both sides of every change of the strip layout, noisy and flat: each decodes
// to its own pixels although strips and scratch buffers carry over between images.
TEST(PngEncoder, ImagesAroundEveryStripThresholdRoundTrip) {
  const size_t threads = StripPool::shared().threads();
  const uint32_t width = 640;
  // The first height that is cut into two strips.
  uint32_t split = 1;
  while (plan_strips(width, split, threads).strips < 2) ++split;
  StripPlan most = plan_strips(width, 3001, threads);
  ASSERT_GT(most.strips, 2u);
  ASSERT_NE(3001 % most.strips, 0u);
  struct Case {
    uint32_t width, height;
  };
  const Case cases[] = {{1, 300000}, {width, split - 1},
                        {width, split}, {width, split + 1}, {width, 3001}, {5120, 2880}};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    for (bool noisy : {true, false}) {
      std::vector<uint8_t> pixels = noisy ? noise(c.width, c.height, ++seed) : flat_screen(c.width, c.height);
      std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + (noisy ? "n" : "f");
      std::vector<uint8_t> png = encode_ok(pixels, c.width, c.height);
      expect_decodes_to(png, pixels, c.width, c.height, name);
      if (noisy) {
        EXPECT_GT(png.size(), pixels.size()) << name;  // noise does not compress, nor get lost
      } else if (c.height > 100) {
        EXPECT_LT(png.size(), pixels.size() / 50) << name;
      }
    }
  }
}

// Many encodes at once: every file is right, and no more strips are ever
// compressed at once than there are processors.
TEST(PngEncoder, ConcurrentEncodesStayCorrectWithinTheThreadBound) {
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  EXPECT_EQ(StripPool::shared().threads(), static_cast<size_t>(processors < 1 ? 1 : processors));
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int round = 0; round < 3; ++round) {
        uint32_t width = 300 + 97 * t, height = 900 + 211 * round;
        std::vector<uint8_t> pixels = (t + round) % 2 ? noise(width, height, t * 10 + round)
                                                      : flat_screen(width, height);
        std::vector<uint8_t> png;
        const bool ok = t % 2 ? encode_png_rows(width, height, rows_of(pixels, width), &png).ok()
                              : encode_png(pixels.data(), pixels.size(), width, height, &png).ok();
        const screen_test::Decoded got = screen_test::decode_png(png);
        if (!ok || got.rgba != pixels || got.width != width || got.height != height) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
  EXPECT_LE(StripPool::shared().most_busy(), StripPool::shared().threads());
  EXPECT_GE(StripPool::shared().most_busy(), 1u);
}

#if defined(__linux__)
TEST(PngEncoder, StripsAreCompressedOnNamedThreadsWithSmallStacks) {
  StripPool& pool = StripPool::shared();
  const size_t count = 2 * pool.threads();
  std::vector<std::string> names(count);
  std::vector<size_t> stacks(count, 0);
  auto scratches = pool.run(count, [&](size_t i, StripScratch&) {
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    names[i] = name;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      pthread_attr_getstacksize(&attr, &stacks[i]);
      pthread_attr_destroy(&attr);
    }
  });
  pool.give_back(std::move(scratches));
  EXPECT_EQ(names, std::vector<std::string>(count, "deskcap-png"));
  EXPECT_EQ(stacks, std::vector<size_t>(count, 512u * 1024));
}
#endif

TEST(PngEncoder, RefusalsComeBackAsTextWithNothingWritten) {
  const std::vector<uint8_t> pixels(17, 0);
  const std::pair<std::tuple<const uint8_t*, size_t, uint32_t, uint32_t>, const char*> cases[] = {
      {{pixels.data(), 0, 0, 5}, "Zero width not allowed"}, {{pixels.data(), 0, 5, 0}, "Zero height not allowed"},
      {{nullptr, 0, 0, 0}, "Zero width not allowed"},
      {{pixels.data(), 11, 2, 2}, "Pixel data length 11 does not match 2x2 RGBA (16 bytes)"},
      {{pixels.data(), 17, 2, 2}, "Pixel data length 17 does not match 2x2 RGBA (16 bytes)"},
      // width*height*4 does not fit in 64 bits: refused, never wrapped around to a small match.
      {{pixels.data(), 16, 0xFFFFFFFFu, 0xFFFFFFFFu},
       "Pixel data length 16 does not match 4294967295x4294967295 RGBA (size overflows)"},
      // A matching claim beyond the PNG limit is refused before any pixel is read.
      {{pixels.data(), size_t{0x80000000u} * 4, 0x80000000u, 1},
       "Image 2147483648x1 exceeds the PNG limit of 2147483647 pixels per side"},
  };
  for (const auto& [args, text] : cases) {
    std::vector<uint8_t> png = {1, 2, 3};  // left over from an earlier use: must come back empty
    const auto& [data, length, width, height] = args;
    auto refused = encode_png(data, length, width, height, &png);
    ASSERT_FALSE(refused.ok()) << text;
    EXPECT_EQ(refused.error().reason, text);
    EXPECT_EQ(refused.error().status, Status::GenericFailure);
    EXPECT_TRUE(png.empty());
  }
  // Drawn rows: the last band of the last strip fails after every other succeeded.
  const std::vector<uint8_t> tall = noise(640, 3001, 4);
  PixelRows failing = [&](uint32_t first, uint32_t count, uint8_t* out) {
    return first + count != 3001 && rows_of(tall, 640)(first, count, out);
  };
  std::vector<uint8_t> png = {1};
  auto unread = encode_png_rows(640, 3001, failing, &png);
  ASSERT_FALSE(unread.ok());
  EXPECT_EQ(unread.error().reason, "The image's rows could not be read");
  EXPECT_TRUE(png.empty());
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// (Sanitizer runtimes reserve more address space than the cap leaves.) An allocation failure
// while writing is text, nothing half-written: a child capped just above what it has mapped.
TEST(PngEncoderDeathTest, OutOfMemoryWhileWritingBecomesAnError) {
  // A child of its own: a forked one would not have the strip threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::vector<uint8_t> pixels = noise(3000, 3000, 5);  // 36 MB that do not compress
        long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) std::_Exit(3);
        std::fclose(statm);
        rlimit cap{};
        cap.rlim_cur = cap.rlim_max = static_cast<rlim_t>(pages) * 4096 + (64 << 20);
        if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(4);
        std::vector<uint8_t> png;
        auto encoded = encode_png(pixels.data(), pixels.size(), 3000, 3000, &png);
        if (encoded.ok()) std::_Exit(1);
        std::_Exit(encoded.error().reason == "Out of memory while writing the PNG" && png.empty() ? 0 : 2);
      },
      testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace deskcap
