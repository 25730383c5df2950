#include "Archive/CDiskArchiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/CKlLogger.h"

namespace {

// Creates one folder. A missing parent is a failure; a folder that exists (or
// any other refusal) is left for the copy to report.
bool CreateFolderLevel(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno != ENOENT;
}

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

CDiskArchiver::CDiskArchiver(ProgressFunction progress) : m_Progress(std::move(progress)) {}

CDiskArchiver::~CDiskArchiver() = default;

int CDiskArchiver::Cancel() {
  RequestCancel();
  return 0;
}

int CDiskArchiver::AddFile(const std::string& archivePath, const std::string& sourcePath,
                           const std::string& subFolder, int64_t callTime) {
  size_t start = subFolder.find_first_not_of("/\\");
  m_Queue.push_back({archivePath, sourcePath, start == std::string::npos ? "" : subFolder.substr(start), callTime});
  return 0;
}

int CDiskArchiver::GetSizeMB() { return static_cast<int>(m_TotalSize >> 20); }

IArchiver* CDiskArchiver::Reset() {
  m_FilesCopied = 0;
  m_TotalSize = 0;
  return IArchiver::Reset();
}

int CDiskArchiver::Archive() {
  m_FilesCopied = 0;
  m_Copied.clear();
  m_Passphrase = zel::ArchiveIndex::SettingsPassphrase();
  const size_t queued = m_Queue.size();
  int result = 0;
  for (const SEntry& entry : m_Queue) {
    if (CancelRequested() || ThresholdReached()) break;
    result = CopyEntry(entry, queued);
    if (result != 0) break;
    ++m_ArchivedCount;
  }
  m_Queue.clear();
  m_MadeFolders.clear();
  return WriteIndexes(result);
}

int CDiskArchiver::WriteIndexes(int result) {
  for (const auto& [folder, rows] : m_Copied) {
    std::string error;
    if (!zel::ArchiveIndex::UpdateFolderIndex(folder, rows, error)) {
      Singleton<CKlLogger>::Instance()->LogLine("Archiver: %s", error.c_str());
      if (result == 0) {
        SetLastError(error);
        result = -1;
      }
    }
  }
  m_Copied.clear();
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
    if (m_MadeFolders.count(path) != 0) return true;
    if (!CreateFolderLevel(path)) {
      SetLastError(path + ": " + std::strerror(errno));
      return false;
    }
    m_MadeFolders.insert(path);
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
  if (!zel::ArchiveIndex::Describe(target, inArchive, m_Passphrase, row)) {
    SetLastError(target + ": cannot be read back");
    return -1;
  }
  const std::string root = zel::WithoutTrailingSlashes(entry.archivePath);
  if (m_Copied.empty() || m_Copied.back().first != root) m_Copied.emplace_back(root, std::vector<zel::ArchiveIndexRow>());
  m_Copied.back().second.push_back(std::move(row));
  ++m_FilesCopied;
  if (m_Progress && queued > 0) m_Progress(100.0 * m_FilesCopied / static_cast<double>(queued));
  m_TotalSize += copied;
  return 0;
}
