#include "Archive/CDiskArchiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// Copies `in` from its current offset to its end into `out`; the kernel copies
// when it can, plain reads and writes take over where it cannot.
bool CopyContent(int in, int out, uint64_t& copied) {
  copied = 0;
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
    if (n > 0) {
      copied += static_cast<uint64_t>(n);
      continue;
    }
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) return false;
    break;
  }
  static thread_local char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof(buffer));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
    copied += static_cast<uint64_t>(n);
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
  std::string temp = target + ".zeltmp-XXXXXX";
  int out = ::mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    int saved = errno;
    ::close(in);
    errno = saved;
    return false;
  }
  uint64_t bytes = 0;
  bool ok = CopyContent(in, out, bytes) && ::fchmod(out, info.st_mode & 07777) == 0;
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
  ok = (::close(out) == 0) && ok;
  ::close(in);
  if (ok && ::rename(temp.c_str(), target.c_str()) == 0) {
    if (copied != nullptr) *copied = bytes;
    return true;
  }
  if (ok) saved = errno;
  ::unlink(temp.c_str());
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
  const size_t queued = m_Queue.size();
  int result = 0;
  for (const SEntry& entry : m_Queue) {
    if (CancelRequested() || ThresholdReached()) break;
    result = CopyEntry(entry, queued);
    if (result != 0) break;
    ++m_ArchivedCount;
  }
  m_Queue.clear();
  return result;
}

int CDiskArchiver::CopyEntry(const SEntry& entry, size_t queued) {
  std::string folder = zel::WithoutTrailingSlashes(entry.archivePath);
  if (folder.empty()) return -1;
  if (!CreateFolderLevel(folder)) return -1;
  if (folder != "/") folder += '/';
  for (const std::string& component : zel::SubFolderComponents(entry.subFolder)) {
    folder += component;
    if (!CreateFolderLevel(folder)) return -1;
    folder += '/';
  }
  const std::string target = folder + zel::FileNameOf(entry.sourcePath);
  Singleton<CKlLogger>::Instance()->LogLine("Archiver: CopyFile %s -> %s", entry.sourcePath.c_str(), target.c_str());

  uint64_t copied = 0;
  if (!zel::CopyFileReplacing(entry.sourcePath, target, entry.callTime, &copied)) return -1;
  ++m_FilesCopied;
  if (m_Progress && queued > 0) m_Progress(100.0 * m_FilesCopied / static_cast<double>(queued));
  m_TotalSize += copied;
  return 0;
}
