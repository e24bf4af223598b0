// A continuous capture of a display or a window: one framework stream whose
// samples are copied out as they come, encoded one at a time on the stream's
// own thread while the next is captured, and queued for the consumer, the
// oldest dropped when the queue is full. At most max_queued + 2 frames'
// pixels are alive per stream: the queue, the frame encoding and the one
// captured meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/error.h"
#include "screen/screen.h"

namespace deskcap {

struct StreamRequest {
  // Exactly one of the two is set.
  std::optional<uint32_t> display_id;
  std::optional<uint32_t> window_id;
  std::optional<std::vector<uint32_t>> exclude_window_ids;  // display streams
  std::optional<CropRect> crop;                             // display streams
  OutputOptions output;
  uint32_t fps = 10;         // 1..60
  uint32_t max_queued = 2;   // at least 1
  bool only_changed = false; // no frame while the picture stays the same
};

struct StreamFrame {
  Screenshot image;
  double timestamp = 0;   // when its pixels arrived, ms since the Unix epoch
  uint64_t sequence = 0;  // 1, 2, ... in the order produced; gaps are drops
};

struct StreamStats {
  uint64_t produced = 0, delivered = 0, dropped = 0;
};

// Told by the stream, on any of its threads, with none of its locks held.
class StreamListener {
 public:
  virtual ~StreamListener() = default;
  // take() has a frame.
  virtual void frame_queued() = 0;
  // The system ended the stream, or a frame could not be encoded; once, and
  // never after stop() began.
  virtual void ended(Error error) = 0;
};

class CaptureStream {
 public:
  // Nothing runs before start().
  static std::shared_ptr<CaptureStream> create(StreamRequest request, std::shared_ptr<StreamListener> listener);
  virtual ~CaptureStream() = default;
  // Worker thread, blocking: finds what to capture and starts the framework's
  // stream. On failure the stream holds nothing; start() runs once.
  virtual Result<Unit> start() = 0;
  // Worker thread, blocking: ends the framework's stream, waits for the frame
  // encoding and frees every frame not taken (counted as dropped). Any number
  // of times, from any threads, also before or during start().
  virtual void stop() = 0;
  // The oldest queued frame, now the caller's. Thread: any.
  virtual std::optional<StreamFrame> take() = 0;
  virtual StreamStats stats() const = 0;
};

// Across the process: streams started and not yet stopped, and frames
// produced and neither taken nor dropped.
struct StreamCensus {
  size_t running = 0;
  size_t frames_in_flight = 0;
};
StreamCensus stream_census();

}  // namespace deskcap
