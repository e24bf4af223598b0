#include "screen/bridge.h"

#include "core/utf8.h"

#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "screen/completion_slot.h"

namespace deskcap::capture_bridge {
namespace {

constexpr const char* kUnknownError = "Unknown error";
constexpr const char* kNoResult = "Completion signaled without result";
constexpr const char* kPixelsFailed = "Failed to extract pixel data from CGImage";


using Request = void (*)(void* context, platform::CompletionCallback completion, const void* args);

// One blocking call: a slot owned by this caller and by the completion.
SlotResult run_request(Request request, const void* args, const std::function<void()>& meanwhile = {}) {
  CompletionSlot* slot = CompletionSlot::create();
  request(slot, &deliver_completion, args);
  if (meanwhile) meanwhile();
  SlotResult result = slot->wait_and_take();
  slot->drop();
  return result;
}

// Object result, or the failure text of the request.
template <class T>
CaptureResult<Ref<T>> finish(SlotResult result, CaptureError::Kind kind) {
  if (auto* object = std::get_if<Ref<platform::Object>>(&result))
    return Ref<T>(reinterpret_cast<T*>(object->take()));
  if (auto* text = std::get_if<std::string>(&result)) return CaptureError(kind, std::move(*text));
  return CaptureError(kind, kNoResult);
}

}  // namespace

void deliver_completion(void* context, platform::Object* object, const char* error_text) {
  auto* slot = static_cast<CompletionSlot*>(context);
  SlotResult result;
  if (object != nullptr) {
    result = Ref<platform::Object>(object);
  } else if (error_text != nullptr) {
    std::string_view text(error_text, std::strlen(error_text));
    result = deskcap::is_valid_utf8(text) ? std::string(text) : std::string(kUnknownError);
  } else {
    result = std::string(kUnknownError);
  }
  slot->complete(std::move(result));
  slot->drop();
}

CaptureResult<Ref<platform::ShareableContent>> fetch_shareable_content(
    bool exclude_desktop_windows, bool on_screen_windows_only) {
  struct Args {
    bool exclude_desktop, on_screen_only;
  } args{exclude_desktop_windows, on_screen_windows_only};
  SlotResult result = run_request(
      [](void* context, platform::CompletionCallback completion, const void* raw) {
        auto* a = static_cast<const Args*>(raw);
        platform::get_shareable_content(a->exclude_desktop, a->on_screen_only, context, completion);
      },
      &args);
  return finish<platform::ShareableContent>(std::move(result),
                                            CaptureError::Kind::NoShareableContent);
}

CaptureResult<Ref<platform::Image>> take_screenshot(platform::ContentFilter* filter,
                                                    platform::StreamConfiguration* configuration,
                                                    const std::function<void()>& meanwhile) {
  struct Args {
    platform::ContentFilter* filter;
    platform::StreamConfiguration* configuration;
  } args{filter, configuration};
  SlotResult result = run_request(
      [](void* context, platform::CompletionCallback completion, const void* raw) {
        auto* a = static_cast<const Args*>(raw);
        platform::capture_image(a->filter, a->configuration, context, completion);
      },
      &args, meanwhile);
  return finish<platform::Image>(std::move(result), CaptureError::Kind::ScreenshotFailed);
}

std::vector<Ref<platform::ScDisplay>> content_displays(platform::ShareableContent* content) {
  return platform::content_displays_copy(content);
}

std::vector<Ref<platform::ScWindow>> content_windows(platform::ShareableContent* content) {
  return platform::content_windows_copy(content);
}

Result<Ref<platform::ContentFilter>> build_filter(const FilterDescription& description) {
  platform::ContentFilter* filter = nullptr;
  if (auto* d = std::get_if<DesktopIndependentWindow>(&description)) {
    filter = platform::filter_with_desktop_independent_window(d->window);
  } else if (auto* d = std::get_if<DisplayExcludingWindows>(&description)) {
    filter = platform::filter_with_display_excluding_windows(d->display, d->windows);
  } else {
    return Error(Status::GenericFailure, kNoFilterTypeSet);
  }
  if (filter == nullptr)
    return CaptureError(CaptureError::Kind::NullPointer, "SCContentFilter initialiser returned nil")
        .to_error();
  return Ref<platform::ContentFilter>(filter);
}

CaptureError pixels_failed() { return CaptureError(CaptureError::Kind::Internal, kPixelsFailed); }

bool pixels_drawable(platform::Image* image) {
  const size_t width = platform::image_width(image), height = platform::image_height(image);
  if (width > UINT32_MAX || height > UINT32_MAX) return false;
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  if (width > kMax / 4 || (width != 0 && height > kMax / (width * 4))) return false;
  if (width == 0 || height == 0) return platform::draw_image_rows_rgba(image, width, height, 0, 0, nullptr);
  return true;
}

}  // namespace deskcap::capture_bridge
