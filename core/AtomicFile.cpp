#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace zel {

AtomicFile::AtomicFile(std::string path, mode_t mode, bool forceMode)
    : path_(std::move(path)), mode_(mode), forceMode_(forceMode) {}

AtomicFile::~AtomicFile() { Abandon(); }

bool AtomicFile::Open() {
  Abandon();
  tempPath_ = path_ + ".tmpXXXXXX";
  fd_ = ::mkstemp(tempPath_.data());
  if (fd_ < 0) {
    tempPath_.clear();
    return false;
  }
  struct stat existing {};
  mode_t mode = (!forceMode_ && ::stat(path_.c_str(), &existing) == 0)
                    ? (existing.st_mode & 07777)
                    : mode_;
  ::fchmod(fd_, mode);
  failed_ = false;
  return true;
}

bool AtomicFile::Write(const void* data, size_t size) {
  if (fd_ < 0 || failed_) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_ && ::fsync(fd_) == 0;
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (ok && ::rename(tempPath_.c_str(), path_.c_str()) == 0) {
    tempPath_.clear();
    return true;
  }
  ::unlink(tempPath_.c_str());
  tempPath_.clear();
  return false;
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

bool WriteFileAtomically(const std::string& path, const std::string& content, mode_t mode,
                         bool forceMode) {
  AtomicFile file(path, mode, forceMode);
  return file.Open() && file.Write(content.data(), content.size()) && file.Commit();
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  content.clear();
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

}  // namespace zel
