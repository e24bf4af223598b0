/* A scripted stand-in for the private TCC framework, in the C shape the Linux
 * and fake backends call (a completion function and a context in place of the
 * block), built next to the testing addon. Answers come from the environment,
 * read at every call:
 *   FAKE_TCC_PREFLIGHT  the preflight code (default 2)
 *   FAKE_TCC_SCREEN_PREFLIGHT  the preflight code for Screen Recording (default
 *                       -1, which the system does not know)
 *   FAKE_TCC_GRANT      1 or 0, what the completion reports (default 1)
 *   FAKE_TCC_MODE       "sync": complete inside the request; "thread" (default):
 *                       complete on a new thread; "never": the prompt is never
 *                       answered
 *   FAKE_TCC_DELAY_MS   delay before a threaded completion (default 0)
 * A request for any service but "kTCCServiceAudioCapture", a preflight for
 * any but it and "kTCCServiceScreenCapture", or a call with options, aborts.
 * Built with FAKE_TCC_NO_REQUEST the library lacks TCCAccessRequest, with
 * FAKE_TCC_NO_PREFLIGHT it lacks TCCAccessPreflight. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static long env_long(const char *name, long fallback) {
  const char *v = getenv(name);
  if (v == NULL || *v == '\0') return fallback;
  return strtol(v, NULL, 10);
}

static void check_call(const void *service, const void *options, const char *function) {
  if (service == NULL || strcmp((const char *)service, "kTCCServiceAudioCapture") != 0 ||
      options != NULL) {
    fprintf(stderr, "fake_tcc: %s called for an unexpected service or with options\n", function);
    abort();
  }
}

static int request_count;

/* How many requests were made since the library was loaded. */
int fake_tcc_request_count(void) { return __atomic_load_n(&request_count, __ATOMIC_SEQ_CST); }

#ifndef FAKE_TCC_NO_PREFLIGHT
static int is_screen(const void *service) {
  return service != NULL && strcmp((const char *)service, "kTCCServiceScreenCapture") == 0;
}

long TCCAccessPreflight(const void *service, const void *options) {
  if (is_screen(service) && options == NULL) return env_long("FAKE_TCC_SCREEN_PREFLIGHT", -1);
  check_call(service, options, "TCCAccessPreflight");
  return env_long("FAKE_TCC_PREFLIGHT", 2);
}
#endif

#ifndef FAKE_TCC_NO_REQUEST
typedef void (*fake_tcc_completion)(void *context, unsigned char granted);

struct pending {
  fake_tcc_completion completion;
  void *context;
  unsigned char granted;
  long delay_ms;
};

static void *complete_later(void *argument) {
  struct pending *p = argument;
  if (p->delay_ms > 0) {
    struct timespec t = {p->delay_ms / 1000, (p->delay_ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
  }
  p->completion(p->context, p->granted);
  free(p);
  return NULL;
}

void TCCAccessRequest(const void *service, const void *options, fake_tcc_completion completion,
                      void *context) {
  check_call(service, options, "TCCAccessRequest");
  __atomic_add_fetch(&request_count, 1, __ATOMIC_SEQ_CST);
  unsigned char granted = env_long("FAKE_TCC_GRANT", 1) != 0;
  const char *mode = getenv("FAKE_TCC_MODE");
  if (mode != NULL && strcmp(mode, "sync") == 0) {
    completion(context, granted);
    return;
  }
  if (mode != NULL && strcmp(mode, "never") == 0) return;
  struct pending *p = malloc(sizeof *p);
  if (p == NULL) abort();
  p->completion = completion;
  p->context = context;
  p->granted = granted;
  p->delay_ms = env_long("FAKE_TCC_DELAY_MS", 0);
  pthread_t thread;
  if (pthread_create(&thread, NULL, complete_later, p) != 0) abort();
  pthread_detach(thread);
}
#endif
