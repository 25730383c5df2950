#include "core/CopyFileReplacing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Copies the `size` bytes of `in` (fewer if it is shorter) into `out`; the kernel
// copies when it can, plain reads and writes take over where it cannot.
bool CopyContent(int in, int out, uint64_t size, uint64_t& copied) {
  copied = 0;
  while (copied < size) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - copied), 0);
    if (n > 0) {
      copied += static_cast<uint64_t>(n);
      continue;
    }
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) return false;
    break;
  }
  if (copied >= size) return true;
  static thread_local char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof(buffer));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    size_t take = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(n), size - copied));
    if (!WriteAll(out, buffer, take)) return false;
    copied += take;
    if (copied >= size) return true;
  }
}

}  // namespace

namespace zel {

bool CopyFileReplacing(const std::string& source, const std::string& target, int64_t mtime, uint64_t* copied) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info {};
  if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    int saved = S_ISREG(info.st_mode) ? errno : EISDIR;
    ::close(in);
    errno = saved;
    return false;
  }
  // Every copy goes to a temporary name and is renamed over the target only
  // when complete, so a killed run never leaves a short copy under the name of a
  // recording. The mode is the source's, less the umask, as cp gives it.
  const mode_t mode = info.st_mode & 0777;
  std::string written;
  int out = -1;
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof(suffix), ".zeltmp-%d-%u", static_cast<int>(::getpid()), counter.fetch_add(1));
    written = target + suffix;
    out = ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) {
    int saved = errno;
    ::close(in);
    errno = saved;
    return false;
  }
  uint64_t bytes = 0;
  bool ok = CopyContent(in, out, static_cast<uint64_t>(info.st_size), bytes);
  if (ok) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    if (mtime != 0) {
      times[1].tv_sec = static_cast<time_t>(mtime);
      times[1].tv_nsec = 0;
    } else {
      times[1] = info.st_mtim;
    }
    ok = ::futimens(out, times) == 0;
  }
  int saved = errno;
  if (::close(out) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  ::close(in);
  if (ok && ::rename(written.c_str(), target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (ok) {
    if (copied != nullptr) *copied = bytes;
    return true;
  }
  ::unlink(written.c_str());
  errno = saved;
  return false;
}

}  // namespace zel
