#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zel {
namespace {

// The temporary files being written, in fixed slots a signal handler can read:
// 0 free, 1 being filled, 2 a path to remove on a signal.
constexpr int kSlots = 32;
std::atomic<int> gSlotState[kSlots];
char gSlotPath[kSlots][PATH_MAX];

int Remember(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!gSlotState[i].compare_exchange_strong(expected, 1)) continue;
    std::memcpy(gSlotPath[i], path.c_str(), path.size() + 1);
    gSlotState[i].store(2);
    return i;
  }
  return -1;  // more files at once than slots: that one is not removed on a signal
}

void Forget(int slot) {
  if (slot >= 0) gSlotState[slot].store(0);
}

void OnSignal(int signal) {
  for (int i = 0; i < kSlots; ++i) {
    if (gSlotState[i].load() == 2) ::unlink(gSlotPath[i]);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Makes a rename in `path`'s folder durable.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems cannot; the rename itself has succeeded
  ::close(fd);
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

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
  slot_ = Remember(tempPath_);
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
    Forget(slot_);
    slot_ = -1;
    tempPath_.clear();
    SyncFolderOf(path_);  // a power cut must not undo the rename
    return true;
  }
  ::unlink(tempPath_.c_str());
  Forget(slot_);
  slot_ = -1;
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
    Forget(slot_);
    slot_ = -1;
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
