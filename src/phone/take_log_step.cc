// Worker side of takeIosLog: the drained log as lines.
#include <optional>

#include "boundary/heap_text.h"
#include "boundary/native.h"
#include "phone/phone_steps.h"

namespace deskcap {

std::vector<std::string> take_ios_log_step() {
  std::optional<std::string> text = take_heap_string(ios_take_log());
  std::vector<std::string> lines;
  if (!text) return lines;
  // Each "\n" ends a line and takes a "\r" just before it along; a lone "\r" stays.
  size_t start = 0;
  while (start < text->size()) {
    size_t end = text->find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text->substr(start));
      break;
    }
    size_t stop = end > start && (*text)[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(text->substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace deskcap
