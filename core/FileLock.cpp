#include "core/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace zel {

FileLock::FileLock(const std::string& dataPath, Wait wait) {
  int fd = ::open(LockPathOf(dataPath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  int operation = LOCK_EX | (wait == Wait::kTry ? LOCK_NB : 0);
  int result;
  while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    error_ = errno;
    ::close(fd);
    return;
  }
  fd_ = fd;
}

FileLock::~FileLock() {
  // Closing the only descriptor of the lock file releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace zel
