#include "core/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zel {

FileLock::FileLock(const std::string& dataPath, Wait wait, Release release)
    : lockPath_(LockPathOf(dataPath)), remove_(release == Release::kRemove) {
  int operation = LOCK_EX | (wait == Wait::kTry ? LOCK_NB : 0);
  for (;;) {
    int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      error_ = errno;
      return;
    }
    int result;
    while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
      error_ = errno;
      ::close(fd);
      return;
    }
    // A holder that removes the file on release may have done so after this
    // open: the lock then sits on a file nobody else will find. Start again.
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::stat(lockPath_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fd_ = fd;
      return;
    }
    ::close(fd);
  }
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  // Removed while still held, so a waiter finds it gone and opens a new one.
  if (remove_) ::unlink(lockPath_.c_str());
  // Closing the only descriptor of the lock file releases the lock.
  ::close(fd_);
}

}  // namespace zel
