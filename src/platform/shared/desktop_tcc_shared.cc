// TCC libraries shaped for systems without blocks (the Linux product and the
// fake world): the framework's completion block becomes a C function with a
// context, and the service is a C string instead of a CFString.
#include <new>

#include "platform/platform.h"

namespace deskcap::platform {
namespace {

constexpr const char* kService = "kTCCServiceAudioCapture";

const char* service_name(TccService service) {
  return service == TccService::ScreenCapture ? "kTCCServiceScreenCapture" : kService;
}

}  // namespace

int64_t tcc_call_preflight(void* function, TccService service) {
  using Preflight = long (*)(const void* service, const void* options);
  return reinterpret_cast<Preflight>(function)(service_name(service), nullptr);
}

void tcc_call_request(void* function, void* context, AccessCallback completion) {
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
