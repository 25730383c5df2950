// A network share's cost of opening a file, for the catalogue benchmark only:
// loaded with LD_PRELOAD, every open waits ZEL_OPEN_DELAY_US microseconds (5000
// by default) before the real call.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <unistd.h>

static void Delay(void) {
  static long delay = -1;
  if (delay < 0) {
    const char* text = getenv("ZEL_OPEN_DELAY_US");
    delay = text ? atol(text) : 5000;
  }
  if (delay > 0) usleep((useconds_t)delay);
}

#define SLOW(name, ...)                                                   \
  int name(__VA_ARGS__, int flags, ...) {                                  \
    static int (*real)();                                                  \
    if (!real) real = (int (*)())dlsym(RTLD_NEXT, #name);                  \
    mode_t mode = 0;                                                       \
    if (flags & (O_CREAT | O_TMPFILE)) {                                   \
      va_list args;                                                        \
      va_start(args, flags);                                               \
      mode = va_arg(args, mode_t);                                         \
      va_end(args);                                                        \
    }                                                                      \
    Delay();                                                               \
    return SLOW_CALL;                                                      \
  }

#define SLOW_CALL real(path, flags, mode)
SLOW(open, const char* path)
SLOW(open64, const char* path)
#undef SLOW_CALL
#define SLOW_CALL real(dirfd, path, flags, mode)
SLOW(openat, int dirfd, const char* path)
SLOW(openat64, int dirfd, const char* path)
