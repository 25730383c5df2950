#include "Archive/CDiskArchiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/CKlLogger.h"
#include "core/CopyFileReplacing.h"

namespace {

// Creates one folder. A missing parent is a failure; a folder that exists (or
// any other refusal) is left for the copy to report.
bool CreateFolderLevel(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno != ENOENT;
}

}  // namespace

CDiskArchiver::CDiskArchiver(ProgressFunction progress) : progress_(std::move(progress)) {}

CDiskArchiver::~CDiskArchiver() = default;

int CDiskArchiver::Cancel() {
  RequestCancel();
  return 0;
}

int CDiskArchiver::AddFile(const std::string& archivePath, const std::string& sourcePath,
                           const std::string& subFolder, int64_t callTime) {
  size_t start = subFolder.find_first_not_of("/\\");
  queue_.push_back({archivePath, sourcePath, start == std::string::npos ? "" : subFolder.substr(start), callTime});
  return 0;
}

int CDiskArchiver::GetSizeMB() { return static_cast<int>(totalSize_ >> 20); }

IArchiver* CDiskArchiver::Reset() {
  filesCopied_ = 0;
  totalSize_ = 0;
  return IArchiver::Reset();
}

int CDiskArchiver::Archive() {
  filesCopied_ = 0;
  copied_.clear();
  passphrase_ = zel::ArchiveIndex::SettingsPassphrase();
  const size_t queued = queue_.size();
  int result = 0;
  for (const SEntry& entry : queue_) {
    if (CancelRequested() || ThresholdReached()) break;
    result = CopyEntry(entry, queued);
    if (result != 0) break;
    ++archivedCount_;
  }
  queue_.clear();
  madeFolders_.clear();
  return WriteIndexes(result);
}

int CDiskArchiver::WriteIndexes(int result) {
  for (const auto& [folder, rows] : copied_) {
    std::string error;
    if (!zel::ArchiveIndex::UpdateFolderIndex(folder, rows, error)) {
      Singleton<CKlLogger>::Instance()->LogLine("Archiver: %s", error.c_str());
      if (result == 0) {
        SetLastError(error);
        result = -1;
      }
    }
  }
  copied_.clear();
  return result;
}

int CDiskArchiver::CopyEntry(const SEntry& entry, size_t queued) {
  std::string folder = zel::WithoutTrailingSlashes(entry.archivePath);
  if (folder.empty()) {
    SetLastError("no archive folder");
    return -1;
  }
  // Folders made earlier in this write are not made again.
  auto makeFolder = [this](const std::string& path) {
    if (madeFolders_.count(path) != 0) return true;
    if (!CreateFolderLevel(path)) {
      SetLastError(path + ": " + std::strerror(errno));
      return false;
    }
    madeFolders_.insert(path);
    return true;
  };
  if (!makeFolder(folder)) return -1;
  if (folder != "/") folder += '/';
  for (const std::string& component : zel::SubFolderComponents(entry.subFolder)) {
    folder += component;
    if (!makeFolder(folder)) return -1;
    // A link planted inside the archive would carry the copy out of it.
    struct stat own {};
    if (::lstat(folder.c_str(), &own) != 0 || !S_ISDIR(own.st_mode)) {
      SetLastError(folder + ": " + (S_ISLNK(own.st_mode) ? "a symbolic link, not followed" : std::strerror(ENOTDIR)));
      return -1;
    }
    folder += '/';
  }
  const std::string target = folder + zel::FileNameOf(entry.sourcePath);
  Singleton<CKlLogger>::Instance()->LogLine("Archiver: CopyFile %s -> %s", entry.sourcePath.c_str(), target.c_str());

  uint64_t copied = 0;
  if (!zel::CopyFileReplacing(entry.sourcePath, target, entry.callTime, &copied)) {
    std::string reason = std::strerror(errno);
    SetLastError(entry.sourcePath + " -> " + target + ": " + reason);
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: CopyFile %s failed: %s", entry.sourcePath.c_str(),
                                              reason.c_str());
    return -1;
  }
  std::string inArchive = zel::JoinSubFolder(zel::SubFolderComponents(entry.subFolder));
  inArchive += (inArchive.empty() ? "" : "/") + zel::FileNameOf(entry.sourcePath);
  zel::ArchiveIndexRow row;
  if (!zel::ArchiveIndex::Describe(target, inArchive, passphrase_, row)) {
    SetLastError(target + ": cannot be read back");
    return -1;
  }
  const std::string root = zel::WithoutTrailingSlashes(entry.archivePath);
  if (copied_.empty() || copied_.back().first != root) copied_.emplace_back(root, std::vector<zel::ArchiveIndexRow>());
  copied_.back().second.push_back(std::move(row));
  ++filesCopied_;
  if (progress_ && queued > 0) progress_(100.0 * filesCopied_ / static_cast<double>(queued));
  totalSize_ += copied;
  return 0;
}
