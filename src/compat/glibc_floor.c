/* Linked into the Linux binaries built for the glibc floor (2.28): the few
 * C-library functions that the statically linked C++ runtime and libgcc call
 * but glibc 2.28 does not have, written over what it does have. Hidden, so
 * they bind only inside the addon and never replace the host's own. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <link.h>
#include <pthread.h>
#include <stdint.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>

#define FLOOR_COMPAT __attribute__((visibility("hidden")))

/* 2.32. Read by the C++ runtime to skip atomics in a single-threaded process;
 * zero always takes the atomic path, which is right in every process. */
FLOOR_COMPAT char __libc_single_threaded = 0;

/* 2.33 made fstat64 a function; before, the headers called __fxstat64 with the
 * structure's version (1 on x86-64, 0 on the generic layout of arm64). */
#if defined(__x86_64__)
#define FLOOR_STAT_VER 1
#else
#define FLOOR_STAT_VER 0
#endif
extern int __fxstat64(int ver, int fd, struct stat64* buf);
FLOOR_COMPAT int fstat64(int fd, struct stat64* buf) { return __fxstat64(FLOOR_STAT_VER, fd, buf); }

/* 2.36. std::random_device's default source. */
FLOOR_COMPAT uint32_t arc4random(void) {
  uint32_t value = 0;
  unsigned char* p = (unsigned char*)&value;
  size_t got = 0;
  while (got < sizeof value) {
    ssize_t n = getrandom(p + got, sizeof value - got, 0);
    if (n > 0) got += (size_t)n;
    else if (n < 0 && errno != EINTR) break;
  }
  return value;
}

/* 2.30. The C++ headers wait on a steady clock with it; a realtime deadline
 * of the same distance is what the library did before it existed. */
FLOOR_COMPAT int pthread_cond_clockwait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                                        const struct timespec* abstime) {
  if (clock == CLOCK_REALTIME) return pthread_cond_timedwait(cond, mutex, abstime);
  if (clock != CLOCK_MONOTONIC) return EINVAL;
  struct timespec now, wall;
  clock_gettime(CLOCK_MONOTONIC, &now);
  clock_gettime(CLOCK_REALTIME, &wall);
  int64_t left = (int64_t)(abstime->tv_sec - now.tv_sec) * 1000000000 + (abstime->tv_nsec - now.tv_nsec);
  if (left < 0) left = 0;
  int64_t deadline = (int64_t)wall.tv_sec * 1000000000 + wall.tv_nsec + left;
  struct timespec until = {(time_t)(deadline / 1000000000), (long)(deadline % 1000000000)};
  return pthread_cond_timedwait(cond, mutex, &until);
}

/* 2.35. The unwinder of the static libgcc finds a frame's unwind table with it
 * and has no other way once it was built against a glibc that has it. */
struct floor_find {
  uintptr_t pc;
  struct dl_find_object* result;
};

static int floor_find_one(struct dl_phdr_info* info, size_t size, void* data) {
  (void)size;
  struct floor_find* find = (struct floor_find*)data;
  uintptr_t start = UINTPTR_MAX, end = 0, eh_frame = 0;
  int holds = 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)* ph = &info->dlpi_phdr[i];
    uintptr_t from = info->dlpi_addr + ph->p_vaddr;
    if (ph->p_type == PT_LOAD) {
      if (from < start) start = from;
      if (from + ph->p_memsz > end) end = from + ph->p_memsz;
      if (find->pc >= from && find->pc < from + ph->p_memsz) holds = 1;
    } else if (ph->p_type == PT_GNU_EH_FRAME) {
      eh_frame = from;
    }
  }
  if (!holds) return 0;
  find->result->dlfo_flags = 0;
  find->result->dlfo_map_start = (void*)start;
  find->result->dlfo_map_end = (void*)end;
  find->result->dlfo_link_map = NULL;
  find->result->dlfo_eh_frame = (void*)eh_frame;
  return 1;
}

FLOOR_COMPAT int _dl_find_object(void* address, struct dl_find_object* result) {
  struct floor_find find = {(uintptr_t)address, result};
  if (!dl_iterate_phdr(floor_find_one, &find)) return -1;
  Dl_info info;
  struct link_map* map = NULL;
  if (dladdr1(address, &info, (void**)&map, RTLD_DL_LINKMAP) != 0) result->dlfo_link_map = map;
  return 0;
}
