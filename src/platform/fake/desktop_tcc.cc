// Fake TCC: where the library is (the world's "tcc.library", else the product
// path) and the C-shaped calls of the looked-up functions.
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "platform/fake/world.h"
#include "platform/platform.h"

namespace deskcap::platform {
namespace {

constexpr const char* kProductPath = "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";
constexpr const char* kService = "kTCCServiceAudioCapture";

// Paths handed out stay valid for the life of the process.
const char* keep(const std::string& path) {
  static auto& mutex = *new std::mutex;
  static auto& kept = *new std::set<std::string>;
  std::lock_guard<std::mutex> lock(mutex);
  return kept.insert(path).first->c_str();
}

}  // namespace

const char* tcc_framework_path() {
  fake::json tcc = fake::section("tcc");
  if (tcc.is_object() && tcc.contains("library") && tcc["library"].is_string())
    return keep(tcc["library"].get<std::string>());
  return kProductPath;
}

int64_t tcc_call_preflight(void* function) {
  using Preflight = long (*)(const void* service, const void* options);
  return reinterpret_cast<Preflight>(function)(kService, nullptr);
}

void tcc_call_request(void* function, void* context, AccessCallback completion) {
  // The block of the real framework becomes a C function with a context.
  using Completion = void (*)(void* context, unsigned char granted);
  using Request = void (*)(const void* service, const void* options, Completion completion,
                           void* context);
  struct Call {
    void* context;
    AccessCallback completion;
  };
  auto* call = new (std::nothrow) Call{context, completion};
  if (call == nullptr) {
    completion(context, false);  // the request must still settle
    return;
  }
  reinterpret_cast<Request>(function)(
      kService, nullptr,
      [](void* c, unsigned char granted) {
        auto* call = static_cast<Call*>(c);
        AccessCallback completion = call->completion;
        void* context = call->context;
        delete call;
        completion(context, granted != 0);
      },
      call);
}

}  // namespace deskcap::platform
