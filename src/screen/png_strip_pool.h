// The threads that compress PNG strips: one per processor, shared by every
// encode in the process, so that concurrent captures never have more threads
// compressing than there are cores. Each strip borrows a scratch (a zlib
// stream and its buffers) that is kept for the next encode and freed after a
// few seconds without work.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace deskcap {

struct StripScratch {
  z_stream stream{};
  bool stream_ready = false;  // deflateInit2 done; deflateReset before each strip
  std::unique_ptr<uint8_t[]> rows;  // filtered rows waiting for deflate
  size_t rows_capacity = 0;
  std::unique_ptr<uint8_t[]> band;  // drawn rows waiting to be filtered
  size_t band_capacity = 0;
  std::unique_ptr<uint8_t[]> out;  // the strip's compressed bytes
  size_t out_capacity = 0;
  size_t out_size = 0;

  StripScratch() = default;
  StripScratch(const StripScratch&) = delete;
  StripScratch& operator=(const StripScratch&) = delete;
  ~StripScratch();
};

class StripPool {
 public:
  // The process's pool; never destroyed (its threads outlive static destruction).
  static StripPool& shared();

  using Job = std::function<void(size_t index, StripScratch& scratch)>;

  // Runs job(i, scratch) for every i < count on the pool's threads and returns
  // once all have run, with the scratch each used, in index order (nullptr
  // where none could be allocated: that job did not run). `job` must not throw.
  // Without any thread (none could be started) the jobs run on the caller.
  std::vector<std::unique_ptr<StripScratch>> run(size_t count, const Job& job);
  // Takes scratches back for later strips.
  void give_back(std::vector<std::unique_ptr<StripScratch>> scratches);

  // Threads the pool runs (started on first use): the processor count.
  size_t threads();
  // The most jobs that ever ran at once, for tests of the bound.
  size_t most_busy();

 private:
  StripPool() = default;
  struct State;
  State& state();
};

}  // namespace deskcap
