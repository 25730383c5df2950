#include "core/RegularFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zel {

int OpenRegularFile(const std::string& path, int flags, int dirFd) {
  // Looked at before opening: opening some devices already has effects.
  struct stat st {};
  if (::fstatat(dirFd, path.c_str(), &st, 0) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  // Non-blocking, in case the name was replaced by a FIFO meanwhile.
  int fd = ::openat(dirFd, path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

int OpenListedFile(const char* name, int dirFd, struct stat& st) {
  const int fd = ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0) st.st_mode = 0;
  if (!S_ISREG(st.st_mode)) {
    const bool folder = S_ISDIR(st.st_mode);
    ::close(fd);
    errno = folder ? EISDIR : EINVAL;
    return -1;
  }
  return fd;
}

FILE* OpenRegularStream(const std::string& path, const char* mode) {
  bool update = std::strchr(mode, '+') != nullptr;
  int fd = OpenRegularFile(path, update ? O_RDWR : O_RDONLY);
  if (fd < 0) return nullptr;
  FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
}

DataFileRead ReadDataFile(const std::string& path, std::string& content, uint64_t limit) {
  content.clear();
  int fd = OpenRegularFile(path);
  if (fd < 0) {
    if (errno == ENOENT) return DataFileRead::Missing;
    return errno == EINVAL ? DataFileRead::NotRegular : DataFileRead::Unreadable;
  }
  struct stat st {};
  DataFileRead result = DataFileRead::Ok;
  if (::fstat(fd, &st) != 0) {
    result = DataFileRead::Unreadable;
  } else if (static_cast<uint64_t>(st.st_size) > limit) {
    result = DataFileRead::TooLarge;
  } else {
    content.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    while (true) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result = DataFileRead::Unreadable;
        break;
      }
      if (n == 0) break;
      content.append(buffer, static_cast<size_t>(n));
      // A file still growing while read is held to the same limit.
      if (content.size() > limit) {
        result = DataFileRead::TooLarge;
        break;
      }
    }
  }
  ::close(fd);
  if (result != DataFileRead::Ok) content.clear();
  return result;
}

std::string DataFileReadText(DataFileRead result) {
  switch (result) {
    case DataFileRead::Ok: return "it was read";
    case DataFileRead::Missing: return "it does not exist";
    case DataFileRead::Unreadable: return std::string("it cannot be read");
    case DataFileRead::NotRegular: return "it is not a regular file";
    case DataFileRead::TooLarge: return "it is larger than 64 MiB";
  }
  return "it cannot be read";
}

}  // namespace zel
