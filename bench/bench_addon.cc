// Two yardsticks for bench/capture_bench.js, in a Node addon of their own:
// the PNG encoder alone on pixels handed from JavaScript, and the barest
// Promise round trip through a thread-safe function (a persistent native
// thread, one persistent thread-safe function, no pool, no conversions).
#include <node_api.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "screen/png_encoder.h"

namespace {

napi_value fail(napi_env env, const char* message) {
  napi_throw_error(env, nullptr, message);
  return nullptr;
}

// encode(pixels: Buffer, width, height) -> PNG byte count; throws on failure.
napi_value encode(napi_env env, napi_callback_info info) {
  size_t argc = 3;
  napi_value argv[3];
  if (napi_get_cb_info(env, info, &argc, argv, nullptr, nullptr) != napi_ok || argc < 3)
    return fail(env, "encode(pixels, width, height)");
  void* data = nullptr;
  size_t length = 0;
  uint32_t width = 0, height = 0;
  if (napi_get_buffer_info(env, argv[0], &data, &length) != napi_ok ||
      napi_get_value_uint32(env, argv[1], &width) != napi_ok ||
      napi_get_value_uint32(env, argv[2], &height) != napi_ok)
    return fail(env, "encode(pixels, width, height)");
  std::vector<uint8_t> png;
  auto encoded = deskcap::encode_png(static_cast<const uint8_t*>(data), length, width, height, &png);
  if (!encoded.ok()) return fail(env, encoded.error().reason.c_str());
  napi_value out = nullptr;
  napi_create_double(env, static_cast<double>(png.size()), &out);
  return out;
}

struct Bare {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<napi_deferred> queue;
  napi_threadsafe_function tsfn = nullptr;
  size_t pending = 0;
};

Bare& bare_state() {
  static Bare& b = *new Bare;
  return b;
}

void resolve_bare(napi_env env, napi_value, void*, void* data) {
  if (env == nullptr) return;
  napi_value undefined = nullptr;
  napi_get_undefined(env, &undefined);
  napi_resolve_deferred(env, static_cast<napi_deferred>(data), undefined);
  if (--bare_state().pending == 0) napi_unref_threadsafe_function(env, bare_state().tsfn);
}

// bare() -> Promise<undefined>, settled from the native thread.
napi_value bare(napi_env env, napi_callback_info) {
  Bare& b = bare_state();
  if (b.tsfn == nullptr) {
    napi_value name = nullptr;
    napi_create_string_utf8(env, "bare", NAPI_AUTO_LENGTH, &name);
    if (napi_create_threadsafe_function(env, nullptr, nullptr, name, 0, 1, nullptr, nullptr, nullptr,
                                        resolve_bare, &b.tsfn) != napi_ok)
      return fail(env, "no thread-safe function");
    napi_unref_threadsafe_function(env, b.tsfn);
    std::thread([&b] {
      std::unique_lock<std::mutex> lock(b.mutex);
      for (;;) {
        b.ready.wait(lock, [&] { return !b.queue.empty(); });
        napi_deferred d = b.queue.front();
        b.queue.pop_front();
        lock.unlock();
        napi_call_threadsafe_function(b.tsfn, d, napi_tsfn_blocking);
        lock.lock();
      }
    }).detach();
  }
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  if (napi_create_promise(env, &deferred, &promise) != napi_ok) return fail(env, "no promise");
  if (b.pending++ == 0) napi_ref_threadsafe_function(env, b.tsfn);
  {
    std::lock_guard<std::mutex> lock(b.mutex);
    b.queue.push_back(deferred);
  }
  b.ready.notify_one();
  return promise;
}

napi_value init(napi_env env, napi_value exports) {
  napi_value fn = nullptr;
  napi_create_function(env, "encode", NAPI_AUTO_LENGTH, encode, nullptr, &fn);
  napi_set_named_property(env, exports, "encode", fn);
  napi_create_function(env, "bare", NAPI_AUTO_LENGTH, bare, nullptr, &fn);
  napi_set_named_property(env, exports, "bare", fn);
  return exports;
}

}  // namespace

extern "C" NAPI_MODULE_EXPORT napi_value napi_register_module_v1(napi_env env, napi_value exports) {
  return init(env, exports);
}
