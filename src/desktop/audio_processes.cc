#include "desktop/audio_processes.h"

#include <cstdlib>
#include <memory>

namespace deskcap {
namespace {

using namespace platform::coreaudio;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

platform::PropertyAddress audio_address(uint32_t selector) {
  return platform::PropertyAddress{selector, kScopeGlobal, kElementMain};
}

std::optional<std::vector<uint32_t>> audio_process_objects() {
  const auto list_address = audio_address(kProcessObjectList);
  if (!platform::audio_object_has_property(kSystemObject, list_address)) return std::nullopt;
  uint32_t size = 0;
  if (platform::audio_object_get_property_data_size(kSystemObject, list_address, &size) != 0)
    return std::nullopt;
  std::vector<uint32_t> objects;
  if (size < sizeof(uint32_t)) return objects;
  // calloc, not a vector: a size the system reports can be huge, and a failed
  // allocation must answer "no list" rather than throw.
  size_t room = size / sizeof(uint32_t);
  std::unique_ptr<uint32_t[], FreeDeleter> words(static_cast<uint32_t*>(std::calloc(room, sizeof(uint32_t))));
  if (!words) return std::nullopt;
  uint32_t io_size = size;
  if (platform::audio_object_get_property_data(kSystemObject, list_address, &io_size, words.get()) != 0)
    return std::nullopt;
  size_t count = io_size / sizeof(uint32_t);
  if (count > room) count = room;  // never read past what was allocated
  objects.assign(words.get(), words.get() + count);
  return objects;
}

}  // namespace deskcap
