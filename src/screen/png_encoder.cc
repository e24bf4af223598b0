#include "screen/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "screen/png_strip_pool.h"
#include "screen/sub_filter.h"

namespace deskcap {
namespace {

// The PNG limit on either dimension and on a chunk's length (2^31 - 1).
constexpr uint32_t kMaxDimension = 0x7fffffffu;
// Below two of these, one strip: splitting would cost more than it saves.
constexpr size_t kMinStripBytes = 512 * 1024;
// Keeps each strip's output within one IDAT chunk.
constexpr size_t kMaxStripBytes = size_t{1} << 30;
constexpr size_t kMaxChunk = size_t{1} << 30;
// Filtered rows go to deflate this many bytes at a time: fits the cache.
constexpr size_t kBatchBytes = 64 * 1024;
// deflate's window: a strip starts from the bytes before it as its dictionary.
constexpr size_t kWindowBytes = 32 * 1024;
// zlib counts in 32-bit units.
constexpr size_t kMaxPass = size_t{1} << 30;
constexpr char kOutOfMemory[] = "Out of memory while writing the PNG";
constexpr char kRowsUnavailable[] = "The image's rows could not be read";
// Rows drawn by a source come this many bytes at a time (at least one row).
constexpr size_t kBandBytes = 512 * 1024;

void put_be32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

uint32_t crc_of(uint32_t crc, const uint8_t* data, size_t length) {
  while (length > 0) {
    uInt n = static_cast<uInt>(std::min(length, kMaxPass));
    crc = static_cast<uint32_t>(crc32(crc, data, n));
    data += n, length -= n;
  }
  return crc;
}

// The filtered stream (a type byte 1, then the Sub-filtered row, per row) from
// byte `from` on, `length` bytes of it, into `out`. `rows` holds the image's
// rows from `base_row` on, as far as the range reaches.
void filter_stream(const uint8_t* rows, size_t base_row, size_t row_bytes, size_t from, size_t length,
                   uint8_t* out) {
  const size_t line = row_bytes + 1;
  size_t row = from / line, column = from % line;
  while (length > 0) {
    if (column == 0) {
      *out++ = 1;
      --length;
      column = 1;
      continue;
    }
    size_t take = std::min(length, line - column);
    sub_filter(rows + (row - base_row) * row_bytes, column - 1, column - 1 + take, out);
    out += take, length -= take, column += take;
    if (column == line) column = 0, ++row;
  }
}

struct Image {
  const uint8_t* pixels;    // the whole image, or null: `source` draws the rows
  const PixelRows* source;
  size_t row_bytes;
  uint32_t height;
  StripPlan plan;
};

// What a strip job leaves for the join.
struct StripResult {
  bool ok = false;
  const char* error = kOutOfMemory;
  size_t raw_length = 0;
  uint32_t adler = 1;
  uint32_t crc = 0;  // "IDAT", the stream header for the first strip, the data
};

bool reserve(std::unique_ptr<uint8_t[]>& block, size_t& capacity, size_t wanted) {
  if (capacity >= wanted) return true;
  block.reset();
  capacity = 0;
  block.reset(new (std::nothrow) uint8_t[wanted]);
  if (!block) return false;
  capacity = wanted;
  return true;
}

// Rows [first, first + count) for filtering: in place in the image, or drawn
// by the source into the scratch's band. Null on failure, noted in `result`.
const uint8_t* rows_of(const Image& image, size_t first, size_t count, StripScratch& s, StripResult& result) {
  if (image.pixels != nullptr) return image.pixels + first * image.row_bytes;
  if (!reserve(s.band, s.band_capacity, count * image.row_bytes)) return nullptr;
  if (!(*image.source)(static_cast<uint32_t>(first), static_cast<uint32_t>(count), s.band.get())) {
    result.error = kRowsUnavailable;
    return nullptr;
  }
  return s.band.get();
}

// Feeds `length` bytes to deflate with `flush` after the last of them,
// growing the output should the bound prove short.
bool pump(StripScratch& s, const uint8_t* in, size_t length, int flush, StripResult& result) {
  z_stream& z = s.stream;
  for (;;) {
    uInt piece = static_cast<uInt>(std::min(length, kMaxPass));
    bool last = piece == length;
    int mode = last ? flush : Z_NO_FLUSH;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = piece;
    for (;;) {
      if (s.out_size == s.out_capacity) {
        size_t grown = s.out_capacity + s.out_capacity / 2 + 4096;
        std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown]);
        if (!bigger) return false;
        std::memcpy(bigger.get(), s.out.get(), s.out_size);
        s.out = std::move(bigger);
        s.out_capacity = grown;
      }
      uInt room = static_cast<uInt>(std::min(s.out_capacity - s.out_size, kMaxPass));
      z.next_out = s.out.get() + s.out_size;
      z.avail_out = room;
      int rc = deflate(&z, mode);
      s.out_size += room - z.avail_out;
      if (rc == Z_STREAM_ERROR) {
        result.error = "zlib refused the stream state";
        return false;
      }
      bool drained = mode == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0;
      if (drained) break;
    }
    in += piece, length -= piece;
    if (last) return true;
  }
}

// One strip: a raw deflate stream of its filtered rows, primed with the 32 KiB
// before them, ended on a byte boundary (sync flush) or, for the last, finished.
void compress_strip(const Image& image, size_t index, StripScratch& s, StripResult& result) {
  const size_t line = image.row_bytes + 1;
  const size_t first_row = index * image.plan.rows_per_strip;
  const size_t rows = std::min<size_t>(image.plan.rows_per_strip, image.height - first_row);
  const size_t from = first_row * line, length = rows * line;
  const bool first = index == 0, last = index + 1 == image.plan.strips;
  result.raw_length = length;

  if (!s.stream_ready) {
    int rc = deflateInit2(&s.stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) {
      if (rc != Z_MEM_ERROR) result.error = "zlib could not start a stream";
      return;
    }
    s.stream_ready = true;
  } else if (deflateReset(&s.stream) != Z_OK) {
    result.error = "zlib could not reset a stream";
    return;
  }
  if (!reserve(s.rows, s.rows_capacity, kBatchBytes)) return;
  // Room for the whole strip up front; the pages are touched only as written.
  if (!reserve(s.out, s.out_capacity, deflateBound(&s.stream, length) + 64)) return;
  s.out_size = 0;

  if (!first) {
    const size_t dictionary = std::min(from, kWindowBytes);
    const size_t dictionary_row = (from - dictionary) / line;
    const uint8_t* rows_before = rows_of(image, dictionary_row, first_row - dictionary_row, s, result);
    if (rows_before == nullptr) return;
    filter_stream(rows_before, dictionary_row, image.row_bytes, from - dictionary, dictionary, s.rows.get());
    if (deflateSetDictionary(&s.stream, s.rows.get(), static_cast<uInt>(dictionary)) != Z_OK) {
      result.error = "zlib refused the strip's dictionary";
      return;
    }
  }
  // Drawn rows come a band at a time, filtered while still in the cache.
  const size_t band_rows = image.pixels != nullptr ? rows : std::max<size_t>(1, kBandBytes / image.row_bytes);
  uint32_t adler = static_cast<uint32_t>(adler32(0, nullptr, 0));
  for (size_t band = first_row; band < first_row + rows; band += band_rows) {
    const size_t count = std::min(band_rows, first_row + rows - band);
    const uint8_t* pixels = rows_of(image, band, count, s, result);
    if (pixels == nullptr) return;
    const size_t band_end = (band + count) * line;
    for (size_t at = band * line; at < band_end;) {
      const size_t batch = std::min(kBatchBytes, band_end - at);
      filter_stream(pixels, band, image.row_bytes, at, batch, s.rows.get());
      adler = static_cast<uint32_t>(adler32(adler, s.rows.get(), static_cast<uInt>(batch)));
      at += batch;
      const int flush = at < from + length ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
      if (!pump(s, s.rows.get(), batch, flush, result)) return;
    }
  }
  uint32_t crc = crc_of(0, reinterpret_cast<const uint8_t*>("IDAT"), 4);
  if (first) {
    const uint8_t header[2] = {0x78, 0x01};
    crc = crc_of(crc, header, 2);
  }
  result.crc = crc_of(crc, s.out.get(), s.out_size);
  result.adler = adler;
  result.ok = true;
}

void append(std::vector<uint8_t>& png, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  png.insert(png.end(), bytes, bytes + length);
}

void append_be32(std::vector<uint8_t>& png, uint32_t value) {
  uint8_t bytes[4];
  put_be32(bytes, value);
  append(png, bytes, 4);
}

void append_chunk(std::vector<uint8_t>& png, const char* type, const uint8_t* data, size_t length) {
  append_be32(png, static_cast<uint32_t>(length));
  size_t at = png.size();
  append(png, type, 4);
  append(png, data, length);
  append_be32(png, crc_of(0, png.data() + at, length + 4));
}

// The strip's IDAT data: the stream header before the first, the Adler-32
// after the last. Data longer than a chunk may hold (only from rows wider
// than 1 GiB) is cut into several, their CRCs computed here.
void append_strip(std::vector<uint8_t>& png, const StripScratch& s, const StripResult& r,
                  bool first, const uint8_t* trailer) {
  const uint8_t header[2] = {0x78, 0x01};
  size_t total = (first ? 2 : 0) + s.out_size + (trailer ? 4 : 0);
  if (total <= kMaxChunk) {
    append_be32(png, static_cast<uint32_t>(total));
    append(png, "IDAT", 4);
    if (first) append(png, header, 2);
    append(png, s.out.get(), s.out_size);
    uint32_t crc = r.crc;
    if (trailer) {
      append(png, trailer, 4);
      crc = crc_of(crc, trailer, 4);
    }
    append_be32(png, crc);
    return;
  }
  std::vector<uint8_t> joined;
  if (first) append(joined, header, 2);
  append(joined, s.out.get(), s.out_size);
  if (trailer) append(joined, trailer, 4);
  for (size_t at = 0; at < joined.size(); at += kMaxChunk)
    append_chunk(png, "IDAT", joined.data() + at, std::min(kMaxChunk, joined.size() - at));
}

// Null when written, else the failed strip's text.
const char* encode_checked(const Image& image, uint32_t width, std::vector<uint8_t>& png) {
  StripPool& pool = StripPool::shared();
  std::vector<StripResult> results(image.plan.strips);
  auto scratches = pool.run(image.plan.strips, [&](size_t index, StripScratch& scratch) {
    compress_strip(image, index, scratch, results[index]);
  });
  // Scratches go back to the pool on every path, after the join has read them.
  struct GiveBack {
    StripPool& pool;
    std::vector<std::unique_ptr<StripScratch>>& scratches;
    ~GiveBack() { pool.give_back(std::move(scratches)); }
  } give_back{pool, scratches};

  size_t total = 8 + 25 + 12;
  uint32_t adler = static_cast<uint32_t>(adler32(0, nullptr, 0));
  for (size_t i = 0; i < results.size(); ++i) {
    if (!scratches[i]) return kOutOfMemory;
    if (!results[i].ok) return results[i].error;
    total += 12 + scratches[i]->out_size;
    adler = static_cast<uint32_t>(
        adler32_combine(adler, results[i].adler, static_cast<z_off_t>(results[i].raw_length)));
  }
  total += 2 + 4 + 12 * (total / kMaxChunk);
  png.reserve(total);

  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  append(png, signature, 8);
  uint8_t ihdr[13] = {};
  put_be32(ihdr, width);
  put_be32(ihdr + 4, image.height);
  ihdr[8] = 8;  // depth; then colour type 6, compression 0, filter 0, interlace 0
  ihdr[9] = 6;
  append_chunk(png, "IHDR", ihdr, sizeof ihdr);
  uint8_t trailer[4];
  put_be32(trailer, adler);
  for (size_t i = 0; i < results.size(); ++i)
    append_strip(png, *scratches[i], results[i], i == 0, i + 1 == results.size() ? trailer : nullptr);
  append_chunk(png, "IEND", nullptr, 0);
  return nullptr;
}

}  // namespace

StripPlan plan_strips(uint32_t width, uint32_t height, size_t threads) {
  const size_t line = size_t{width} * 4 + 1;
  const size_t raw = line * height;
  size_t strips = raw / kMinStripBytes;
  strips = std::min(strips, std::max<size_t>(threads, 1) * 4);
  strips = std::max(strips, (raw + kMaxStripBytes - 1) / kMaxStripBytes);
  strips = std::clamp<size_t>(strips, 1, std::max<size_t>(height, 1));
  StripPlan plan;
  plan.rows_per_strip = static_cast<uint32_t>((height + strips - 1) / strips);
  plan.strips = plan.rows_per_strip == 0 ? 1 : (height + plan.rows_per_strip - 1) / plan.rows_per_strip;
  return plan;
}

namespace {

Result<Unit> encode_any(const uint8_t* pixels, const PixelRows* source, size_t length, uint32_t width,
                        uint32_t height, std::vector<uint8_t>* png) {
  png->clear();
  auto fail = [&](std::string text) -> Result<Unit> {
    png->clear();
    png->shrink_to_fit();
    return Error(Status::GenericFailure, std::move(text));
  };
  if (width == 0) return fail("Zero width not allowed");
  if (height == 0) return fail("Zero height not allowed");

  size_t row_bytes = 0, expected = 0;
  bool overflow = __builtin_mul_overflow(static_cast<size_t>(width), size_t{4}, &row_bytes) ||
                  __builtin_mul_overflow(row_bytes, static_cast<size_t>(height), &expected);
  if (source == nullptr && (overflow || length != expected)) {
    std::string text = "Pixel data length " + std::to_string(length) + " does not match " +
                       std::to_string(width) + "x" + std::to_string(height) + " RGBA (";
    text += overflow ? std::string("size overflows") : std::to_string(expected) + " bytes";
    return fail(text + ")");
  }
  if (width > kMaxDimension || height > kMaxDimension || overflow)
    return fail("Image " + std::to_string(width) + "x" + std::to_string(height) +
                " exceeds the PNG limit of 2147483647 pixels per side");
  if (pixels == nullptr && source == nullptr) return fail("Pixel data missing");

  try {
    Image image{pixels, source, row_bytes, height, plan_strips(width, height, StripPool::shared().threads())};
    if (const char* trouble = encode_checked(image, width, *png)) return fail(trouble);
  } catch (const std::bad_alloc&) {
    return fail(kOutOfMemory);
  }
  return Unit{};
}

}  // namespace

Result<Unit> encode_png(const uint8_t* pixels, size_t length, uint32_t width, uint32_t height,
                        std::vector<uint8_t>* png) {
  return encode_any(pixels, nullptr, length, width, height, png);
}

Result<Unit> encode_png_rows(uint32_t width, uint32_t height, const PixelRows& rows, std::vector<uint8_t>* png) {
  return encode_any(nullptr, &rows, 0, width, height, png);
}

}  // namespace deskcap
