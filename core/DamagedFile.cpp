#include "core/DamagedFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/CKlLogger.h"
#include "core/MessageSink.h"
#include "core/RegularFile.h"

namespace zel {

std::string DamagedFileName(const std::string& path, long long when, int attempt) {
  std::time_t t = static_cast<std::time_t>(when);
  std::tm local {};
  ::localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string name = path + ".damaged-" + stamp;
  if (attempt > 1) name += "-" + std::to_string(attempt);
  return name;
}

namespace {

// Renames without replacing an existing `to`; errno EEXIST when it exists.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a check first is the best it allows.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::atomic<int> damagedFound{0};

}  // namespace

int DamagedFilesFound() { return damagedFound.load(); }

std::string SetAsideDamaged(const std::string& path, const std::string& reason, const std::string& outcome) {
  ++damagedFound;
  long long now = static_cast<long long>(std::time(nullptr));
  std::string moved;
  int error = 0;
  for (int attempt = 1; attempt <= 1000; ++attempt) {
    std::string candidate = DamagedFileName(path, now, attempt);
    if (RenameNoReplace(path, candidate)) {
      moved = candidate;
      break;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  if (moved.empty()) {
    Singleton<CKlLogger>::Instance()->LogLine("%s is damaged and cannot be moved aside: %s", path.c_str(),
                                              std::strerror(error));
    ShowMessage("The file " + path + " cannot be used (" + reason + ") and could not be moved aside: " +
                    std::strerror(error) + ".",
                IMessageSink::Icon::Warning);
    return moved;
  }
  Singleton<CKlLogger>::Instance()->LogLine("%s is damaged (%s); kept as %s", path.c_str(), reason.c_str(),
                                            moved.c_str());
  ShowMessage("The file " + path + " cannot be used (" + reason + "). It was kept as " + moved + ". " + outcome,
              IMessageSink::Icon::Warning);
  return moved;
}

bool ReadDataFileOrSetAside(const std::string& path, std::string& content, bool emptyIsDamage,
                            const std::string& outcome) {
  DataFileRead result = ReadDataFile(path, content);
  if (result == DataFileRead::Ok && content.empty() && emptyIsDamage) {
    SetAsideDamaged(path, "it is empty", outcome);
    return false;
  }
  if (result == DataFileRead::NotRegular || result == DataFileRead::TooLarge) {
    SetAsideDamaged(path, DataFileReadText(result), outcome);
    return false;
  }
  return result == DataFileRead::Ok;
}

}  // namespace zel
