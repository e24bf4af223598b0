// Starting the library's own threads: detached (nothing ever joins them, so no
// thread object can end the process at exit), named, with a stack size of
// their own rather than the platform default.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <memory>
#include <utility>

namespace deskcap {

namespace thread_start_detail {

template <class Fn>
struct Start {
  const char* name;
  Fn body;

  static void* entry(void* raw) {
    std::unique_ptr<Start> start(static_cast<Start*>(raw));
#if defined(__APPLE__)
    pthread_setname_np(start->name);
#else
    pthread_setname_np(pthread_self(), start->name);  // at most 15 characters
#endif
    // Freed before the body runs: a thread may live as long as the process.
    Fn body = std::move(start->body);
    start.reset();
    body();
    return nullptr;
  }
};

}  // namespace thread_start_detail

// Runs body() on a new detached thread called `name` (a literal: it is read on
// the new thread). body must not throw. Answers 0 or the errno of the failure,
// in which case body is destroyed here unrun.
template <class Fn>
int start_detached_thread(const char* name, size_t stack_bytes, Fn body) {
  using Start = thread_start_detail::Start<Fn>;
  auto start = std::make_unique<Start>(Start{name, std::move(body)});
  pthread_attr_t attr;
  int rc = pthread_attr_init(&attr);
  if (rc != 0) return rc;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, stack_bytes);
  pthread_t thread;
  rc = pthread_create(&thread, &attr, &Start::entry, start.get());
  pthread_attr_destroy(&attr);
  if (rc == 0) start.release();  // the thread's now
  return rc;
}

}  // namespace deskcap
