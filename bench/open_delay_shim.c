/* LD_PRELOAD shim for the benchmarks only: every open of a file costs
 * ZEL_OPEN_DELAY_US microseconds more, as a round trip to a network share would.
 * Folder listings (opendir opens inside the C library) are left alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <time.h>

static long DelayMicroseconds(void) {
  static long delay = -1;
  if (delay < 0) {
    const char* text = getenv("ZEL_OPEN_DELAY_US");
    delay = text ? atol(text) : 0;
  }
  return delay;
}

static void Wait(void) {
  const long us = DelayMicroseconds();
  if (us <= 0) return;
  struct timespec t = {us / 1000000, (us % 1000000) * 1000};
  while (nanosleep(&t, &t) != 0) {
  }
}

static mode_t ModeOf(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

#define ZEL_WRAP_OPEN(name)                                                     \
  int name(const char* path, int flags, ...) {                                  \
    static int (*real)(const char*, int, mode_t);                               \
    if (!real) real = (int (*)(const char*, int, mode_t))dlsym(RTLD_NEXT, #name); \
    va_list args;                                                               \
    va_start(args, flags);                                                      \
    const mode_t mode = ModeOf(flags, args);                                    \
    va_end(args);                                                               \
    Wait();                                                                     \
    return real(path, flags, mode);                                             \
  }

#define ZEL_WRAP_OPENAT(name)                                                              \
  int name(int dirFd, const char* path, int flags, ...) {                                  \
    static int (*real)(int, const char*, int, mode_t);                                     \
    if (!real) real = (int (*)(int, const char*, int, mode_t))dlsym(RTLD_NEXT, #name);     \
    va_list args;                                                                          \
    va_start(args, flags);                                                                 \
    const mode_t mode = ModeOf(flags, args);                                               \
    va_end(args);                                                                          \
    Wait();                                                                                \
    return real(dirFd, path, flags, mode);                                                 \
  }

ZEL_WRAP_OPEN(open)
ZEL_WRAP_OPEN(open64)
ZEL_WRAP_OPENAT(openat)
ZEL_WRAP_OPENAT(openat64)
