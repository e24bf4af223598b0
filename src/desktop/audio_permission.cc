// The system-audio capture permission, through the private TCC framework
// opened at run time.
#include <dlfcn.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "boundary/c_guard.h"
#include "boundary/native.h"
#include "desktop/tcc_framework.h"
#include "platform/platform.h"

namespace deskcap::native {

TccFramework& tcc_framework() {
  static TccFramework& state = *new TccFramework;
  return state;
}

namespace {

// Opens the framework at most once per process; a failure is not retried.
void* load_tcc_framework() {
  TccFramework& state = tcc_framework();
  std::call_once(*state.once.load(), [&state] {
    const char* path = platform::tcc_framework_path();
    // dlopen(NULL) would answer the main program: no path means no framework.
    if (path != nullptr && *path != '\0') state.handle.store(dlopen(path, RTLD_NOW));
  });
  return state.handle.load();
}


}  // namespace

void* tcc_function(const char* name) {
  void* handle = load_tcc_framework();
  return handle == nullptr ? nullptr : dlsym(handle, name);
}

namespace {

// Shared by the waiting caller and the completion, each holding a reference,
// so that it outlives whichever of the two finishes last.
struct RequestState {
  std::atomic<bool> granted{false};
  platform::Ref<platform::Semaphore> done{platform::semaphore_create(0)};
};

void request_completed(void* context, bool granted) {
  auto* holder = static_cast<std::shared_ptr<RequestState>*>(context);
  std::shared_ptr<RequestState> state = std::move(*holder);
  delete holder;
  state->granted.store(granted);
  platform::semaphore_signal(state->done.get());
}

}  // namespace
}  // namespace deskcap::native

extern "C" int64_t system_audio_access_status(void) {
  return deskcap::guarded<int64_t>(-1, [] {
    void* preflight = deskcap::native::tcc_function("TCCAccessPreflight");
    if (preflight == nullptr) return int64_t{-1};
    return deskcap::platform::tcc_call_preflight(preflight, deskcap::platform::TccService::AudioCapture);
  });
}

namespace deskcap::native {
namespace {

int64_t request_access() {
  void* request = tcc_function("TCCAccessRequest");
  if (request == nullptr) return -1;
  auto state = std::make_shared<RequestState>();
  auto* holder = new std::shared_ptr<RequestState>(state);
  if (!state->done) {
    delete holder;
    return -1;
  }
  deskcap::platform::tcc_call_request(request, holder, request_completed);
  // The completion may already have run inside the call; the semaphore keeps its signal.
  deskcap::platform::semaphore_wait(state->done.get(), -1);
  return state->granted.load() ? 1 : 0;
}

}  // namespace
}  // namespace deskcap::native

extern "C" int64_t request_audio_capture_access(void) {
  return deskcap::guarded<int64_t>(-1, deskcap::native::request_access);
}
