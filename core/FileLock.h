#pragma once
#include <string>

namespace zel {

// A lock shared by every process that works on one data file: an flock() on the
// file "<path>.lock" beside it, held from construction to destruction. Each
// FileLock opens the lock file itself, so two holders in one process exclude
// each other too; a thread must not take the same lock twice.
class FileLock {
 public:
  enum class Wait { kBlock, kTry };
  // kKeep leaves the lock file for the next holder (data files in the
  // configuration folder); kRemove takes it away on release, so that no lock
  // file stays beside a user's archive.
  enum class Release { kKeep, kRemove };

  // Locks exclusively; with kTry gives up at once when another holder has it.
  explicit FileLock(const std::string& dataPath, Wait wait = Wait::kBlock, Release release = Release::kKeep);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // False when the lock file could not be opened (a read-only folder: then the
  // data file cannot be written either) or, with kTry, when it is held elsewhere.
  bool Locked() const { return fd_ >= 0; }
  // Why the lock was not taken: an errno value (EWOULDBLOCK when held elsewhere).
  int Error() const { return error_; }

  static std::string LockPathOf(const std::string& dataPath) { return dataPath + ".lock"; }

 private:
  std::string lockPath_;
  bool remove_;
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace zel
