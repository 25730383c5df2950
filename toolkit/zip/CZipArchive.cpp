#include "toolkit/zip/CZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace zel::zip {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kSampleSize = 8 * 1024;
// A sample must shrink to at most this share of its size for deflate to be used.
// The sample is packed at zlib's fastest level: what that cannot shrink the
// default level barely shrinks either, and the test stays cheap beside the copy.
constexpr double kWorthDeflating = 0.98;

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Le64(const unsigned char* p) { return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32; }

bool ReadAt(int fd, void* buffer, size_t size, uint64_t offset) {
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t n = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool WriteAt(int fd, const void* buffer, size_t size, uint64_t offset) {
  const auto* in = static_cast<const char*>(buffer);
  while (size > 0) {
    ssize_t n = ::pwrite(fd, in, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    in += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// True when deflate shrinks a sample from the middle of the file enough to pay.
bool WorthDeflating(int fd, uint64_t size) {
  if (size == 0) return false;
  size_t sampleSize = static_cast<size_t>(std::min<uint64_t>(size, kSampleSize));
  uint64_t offset = size > sampleSize ? (size - sampleSize) / 2 : 0;
  std::vector<unsigned char> sample(sampleSize);
  if (!ReadAt(fd, sample.data(), sampleSize, offset)) return true;
  uLongf packedSize = compressBound(static_cast<uLong>(sampleSize));
  std::vector<unsigned char> packed(packedSize);
  if (compress2(packed.data(), &packedSize, sample.data(), static_cast<uLong>(sampleSize), Z_BEST_SPEED) != Z_OK)
    return true;
  return static_cast<double>(packedSize) <= kWorthDeflating * static_cast<double>(sampleSize);
}

// minizip's file access, done on a descriptor with one read window and one
// write-behind buffer. minizip looks for the end records in 1 KiB steps backwards
// and copies the central directory in 4 KiB pieces; through this layer that is a
// few large system calls, so appending to a long archive costs little more than
// appending to a short one.
class CachedFile {
 public:
  static constexpr size_t kWindow = 256 * 1024;
  static constexpr size_t kMaxPending = 1024 * 1024;

  explicit CachedFile(int fd) : fd_(fd) {}

  uLong Read(void* buffer, uLong size) {
    if (!Flush()) return 0;
    auto* out = static_cast<char*>(buffer);
    uLong done = 0;
    while (done < size) {
      if (pos_ >= windowStart_ && pos_ < windowStart_ + window_.size()) {
        size_t offset = static_cast<size_t>(pos_ - windowStart_);
        size_t n = std::min<size_t>(window_.size() - offset, size - done);
        std::memcpy(out + done, window_.data() + offset, n);
        done += static_cast<uLong>(n);
        pos_ += n;
        continue;
      }
      // Reading backwards (minizip's search for the end records) gets a window
      // that ends with the request; reading forwards one that starts with it.
      uint64_t start = pos_;
      uint64_t want = size - done;
      if (pos_ < windowStart_ && want < kWindow) {
        uint64_t end = pos_ + want;
        start = end > kWindow ? end - kWindow : 0;
      }
      window_.resize(kWindow);
      ssize_t n;
      do {
        n = ::pread(fd_, window_.data(), kWindow, static_cast<off_t>(start));
      } while (n < 0 && errno == EINTR);
      if (n < 0) {
        error_ = true;
        window_.clear();
        break;
      }
      window_.resize(static_cast<size_t>(n));
      windowStart_ = start;
      if (pos_ >= start + static_cast<uint64_t>(n)) break;  // end of file
    }
    return done;
  }

  uLong Write(const void* buffer, uLong size) {
    window_.clear();
    if (!pending_.empty() && pos_ != pendingStart_ + pending_.size() && !Flush()) return 0;
    if (pending_.empty()) pendingStart_ = pos_;
    pending_.insert(pending_.end(), static_cast<const char*>(buffer), static_cast<const char*>(buffer) + size);
    pos_ += size;
    if (pending_.size() >= kMaxPending && !Flush()) return 0;
    return size;
  }

  long Seek(ZPOS64_T offset, int origin) {
    switch (origin) {
      case ZLIB_FILEFUNC_SEEK_SET:
        pos_ = offset;
        return 0;
      case ZLIB_FILEFUNC_SEEK_CUR:
        pos_ += offset;
        return 0;
      case ZLIB_FILEFUNC_SEEK_END: {
        struct stat info {};
        if (!Flush() || ::fstat(fd_, &info) != 0) return -1;
        pos_ = static_cast<uint64_t>(info.st_size) + offset;
        return 0;
      }
      default:
        return -1;
    }
  }

  ZPOS64_T Tell() const { return pos_; }
  int Error() const { return error_ ? 1 : 0; }

  // Flushes and closes; false when anything failed.
  bool Close() {
    bool ok = Flush() && !error_;
    if (::close(fd_) != 0) ok = false;
    return ok;
  }

 private:
  bool Flush() {
    if (pending_.empty()) return !error_;
    if (!WriteAt(fd_, pending_.data(), pending_.size(), pendingStart_)) error_ = true;
    pending_.clear();
    return !error_;
  }

  int fd_;
  uint64_t pos_ = 0;
  std::vector<char> window_;
  uint64_t windowStart_ = 0;
  std::vector<char> pending_;
  uint64_t pendingStart_ = 0;
  bool error_ = false;
};

voidpf ZCALLBACK OpenFile(voidpf, const void* filename, int mode) {
  int flags = O_RDONLY;
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) flags = O_RDWR;
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) flags = O_RDWR | O_CREAT | O_TRUNC;
  int fd = ::open(static_cast<const char*>(filename), flags | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return new CachedFile(fd);
}
uLong ZCALLBACK ReadFile(voidpf, voidpf stream, void* buffer, uLong size) {
  return static_cast<CachedFile*>(stream)->Read(buffer, size);
}
uLong ZCALLBACK WriteFile(voidpf, voidpf stream, const void* buffer, uLong size) {
  return static_cast<CachedFile*>(stream)->Write(buffer, size);
}
ZPOS64_T ZCALLBACK TellFile(voidpf, voidpf stream) { return static_cast<CachedFile*>(stream)->Tell(); }
long ZCALLBACK SeekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  return static_cast<CachedFile*>(stream)->Seek(offset, origin);
}
int ZCALLBACK CloseFile(voidpf, voidpf stream) {
  auto* file = static_cast<CachedFile*>(stream);
  bool ok = file->Close();
  delete file;
  return ok ? 0 : -1;
}
int ZCALLBACK ErrorFile(voidpf, voidpf stream) { return static_cast<CachedFile*>(stream)->Error(); }

}  // namespace

CZipArchive::~CZipArchive() { Abandon(); }

bool CZipArchive::Fail(const std::string& text) {
  lastError_ = text;
  return false;
}

bool CZipArchive::NeedsUtf8Flag(const std::string& name) {
  bool high = false;
  const auto* p = reinterpret_cast<const unsigned char*>(name.data());
  const auto* end = p + name.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    high = true;
    size_t length;
    uint32_t lowest;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, lowest = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, lowest = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, lowest = 0x10000;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < length) return false;
    uint32_t code = c & (0xFF >> (length + 1));
    for (size_t i = 1; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = code << 6 | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    p += length;
  }
  return high;
}

bool CZipArchive::TakeSnapshot(Snapshot& snapshot) {
  snapshot = Snapshot{};
  snapshot.length = length_;
  if (length_ == 0) return true;
  const std::string working = WorkingPath();
  FileDescriptor fd(::open(working.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Fail(working + ": " + std::strerror(errno));
  if (length_ < kEndRecordSize) return Fail(path_ + ": not a ZIP archive");

  // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
  size_t window = static_cast<size_t>(std::min<uint64_t>(length_, kEndRecordSize + 0xFFFF));
  std::vector<unsigned char> tail(window);
  uint64_t windowStart = length_ - window;
  if (!ReadAt(fd.get(), tail.data(), window, windowStart)) return Fail(working + ": cannot be read");
  size_t end = window - kEndRecordSize + 1;
  bool found = false;
  while (end-- > 0) {
    if (Le32(&tail[end]) == kEndSignature) {
      found = true;
      break;
    }
  }
  if (!found) return Fail(path_ + ": not a ZIP archive");
  uint64_t endPos = windowStart + end;
  uint64_t cdOffset = Le32(&tail[end + 16]);
  if (cdOffset == 0xFFFFFFFFu && endPos >= 20) {
    unsigned char locator[20];
    if (!ReadAt(fd.get(), locator, sizeof(locator), endPos - 20) || Le32(locator) != kZip64LocatorSignature)
      return Fail(path_ + ": damaged ZIP64 end record");
    uint64_t zip64End = Le64(locator + 8);
    unsigned char record[56];
    if (zip64End + sizeof(record) > length_ || !ReadAt(fd.get(), record, sizeof(record), zip64End) ||
        Le32(record) != kZip64EndSignature)
      return Fail(path_ + ": damaged ZIP64 end record");
    cdOffset = Le64(record + 48);
  }
  if (cdOffset > endPos) return Fail(path_ + ": damaged central directory");
  snapshot.tailOffset = cdOffset;
  snapshot.tail.resize(static_cast<size_t>(length_ - cdOffset));
  if (!snapshot.tail.empty() && !ReadAt(fd.get(), snapshot.tail.data(), snapshot.tail.size(), cdOffset))
    return Fail(working + ": cannot be read");
  return true;
}

bool CZipArchive::RestoreSnapshot(const Snapshot& snapshot) {
  const std::string working = WorkingPath();
  FileDescriptor fd(::open(working.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) return Fail(working + ": " + std::strerror(errno));
  if ((!snapshot.tail.empty() && !WriteAt(fd.get(), snapshot.tail.data(), snapshot.tail.size(), snapshot.tailOffset)) ||
      ::ftruncate(fd.get(), static_cast<off_t>(snapshot.length)) != 0)
    return Fail(working + ": " + std::strerror(errno));
  if (::close(fd.release()) != 0) return Fail(working + ": " + std::strerror(errno));
  length_ = snapshot.length;
  return true;
}

// Earlier versions appended in place and kept an undo record beside the archive
// while an add was under way; a run killed then left that record. It puts the
// archive back as it was before the interrupted add.
bool CZipArchive::RecoverInterrupted() {
  const std::string undo = path_ + ".zelundo";
  constexpr char kUndoMagic[8] = {'Z', 'E', 'L', 'U', 'N', 'D', 'O', '1'};
  constexpr size_t kUndoHeader = 32;
  std::string record;
  {
    FileDescriptor fd(::open(undo.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT ? true : Fail(undo + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return Fail(undo + ": " + std::strerror(errno));
    record.resize(static_cast<size_t>(info.st_size));
    if (!record.empty() && !ReadAt(fd.get(), record.data(), record.size(), 0)) return Fail(undo + ": cannot be read");
  }
  uint64_t fields[3] = {0, 0, 0};
  bool complete = record.size() >= kUndoHeader && std::memcmp(record.data(), kUndoMagic, sizeof(kUndoMagic)) == 0;
  if (complete) {
    std::memcpy(fields, record.data() + 8, sizeof(fields));
    complete = fields[1] <= fields[2] && record.size() - kUndoHeader == fields[2] - fields[1];
  }
  if (complete) {
    if (fields[0] == 0) {
      if (::unlink(path_.c_str()) != 0 && errno != ENOENT) return Fail(path_ + ": " + std::strerror(errno));
    } else {
      FileDescriptor fd(::open(path_.c_str(), O_WRONLY | O_CLOEXEC));
      struct stat info {};
      if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) return Fail(path_ + ": " + std::strerror(errno));
      if (static_cast<uint64_t>(info.st_size) < fields[1])
        return Fail(path_ + ": shorter than before the interrupted add");
      if (!WriteAt(fd.get(), record.data() + kUndoHeader, record.size() - kUndoHeader, fields[1]) ||
          ::ftruncate(fd.get(), static_cast<off_t>(fields[2])) != 0 || ::close(fd.release()) != 0)
        return Fail(path_ + ": " + std::strerror(errno));
    }
  }
  ::unlink(undo.c_str());
  return true;
}

bool CZipArchive::MakeWorkingCopy(bool existed) {
  const std::string working = WorkingPath();
  FileDescriptor in(existed ? ::open(path_.c_str(), O_RDONLY | O_CLOEXEC) : -1);
  struct stat info {};
  if (existed && (in.get() < 0 || ::fstat(in.get(), &info) != 0)) return Fail(path_ + ": " + std::strerror(errno));
  // A stale copy of a killed session is simply replaced.
  ::unlink(working.c_str());
  const mode_t mode = existed ? info.st_mode & 0777 : 0666;
  FileDescriptor out(::open(working.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (out.get() < 0) return Fail(path_ + ": " + std::strerror(errno));
  uint64_t size = existed ? static_cast<uint64_t>(info.st_size) : 0;
  uint64_t copied = 0;
  int error = 0;
  while (copied < size) {
    ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, static_cast<size_t>(size - copied), 0);
    if (n > 0) {
      copied += static_cast<uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
      // The kernel cannot copy here: plain reads and writes do.
      std::vector<char> buffer(1 << 20);
      while (copied < size) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - copied));
        if (!ReadAt(in.get(), buffer.data(), want, copied)) {
          error = errno != 0 ? errno : EIO;
          break;
        }
        if (!WriteAt(out.get(), buffer.data(), want, copied)) {
          error = errno != 0 ? errno : EIO;
          break;
        }
        copied += want;
      }
      break;
    }
    error = errno;
    break;
  }
  if (error == 0 && ::close(out.release()) != 0) error = errno;
  if (error != 0) {
    ::unlink(working.c_str());
    return Fail(path_ + ": " + std::strerror(error));
  }
  length_ = size;
  return true;
}

bool CZipArchive::Open(const std::string& path) {
  if (open_) return Fail("archive already open");
  path_ = path;
  lastError_.clear();
  length_ = 0;
  netAdds_ = 0;
  lastName_.clear();
  members_.clear();
  unreferenced_ = false;
  if (!RecoverInterrupted()) return false;
  struct stat info {};
  bool existed = ::stat(path_.c_str(), &info) == 0;
  if (!existed && errno != ENOENT) return Fail(path_ + ": " + std::strerror(errno));
  if (existed && S_ISDIR(info.st_mode)) return Fail(path_ + ": is a folder");
  if (existed && !S_ISREG(info.st_mode)) return Fail(path_ + ": not a regular file");
  if (existed && !List(path_, members_)) return Fail(path_ + ": not a ZIP archive");
  if (!MakeWorkingCopy(existed)) return false;
  open_ = true;
  return true;
}

void CZipArchive::Abandon() {
  if (!open_) return;
  ::unlink(WorkingPath().c_str());
  open_ = false;
}

// True when a member of this name holds exactly the bytes of `source`.
bool CZipArchive::IsPresent(const std::string& source, const std::string& name, uint64_t size) {
  bool candidate = std::any_of(members_.begin(), members_.end(),
                               [&](const ListedEntry& m) { return m.Name == name && m.Size == size; });
  if (!candidate) return false;
  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  uLong crc = crc32(0, nullptr, 0);
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
  }
  return std::any_of(members_.begin(), members_.end(), [&](const ListedEntry& m) {
    return m.Name == name && m.Size == size && m.Crc == static_cast<uint32_t>(crc);
  });
}

CZipArchive::AddResult CZipArchive::AddFile(const std::string& source, const std::string& name, int level,
                                             size_t bufferSize) {
  if (!open_) {
    Fail("archive not open");
    return AddResult::kFailed;
  }
  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (in.get() < 0 || ::fstat(in.get(), &info) != 0) {
    Fail(source + ": " + std::strerror(errno));
    return AddResult::kFailed;
  }
  if (!S_ISREG(info.st_mode)) {
    Fail(source + ": not a file");
    return AddResult::kFailed;
  }
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  if (IsPresent(source, name, size)) return AddResult::kPresent;

  Snapshot before;
  if (!TakeSnapshot(before)) return AddResult::kFailed;
  std::vector<ListedEntry> membersBefore = members_;
  // A changed call replaces its older copy: one member per name, so that the
  // index and a reader of the archive see the same bytes.
  if (!RemoveFromDirectory(name)) return AddResult::kFailed;
  zlib_filefunc64_def access{&OpenFile, &ReadFile, &WriteFile, &TellFile, &SeekFile, &CloseFile, &ErrorFile, nullptr};
  const std::string working = WorkingPath();
  void* handle =
      zipOpen2_64(working.c_str(), length_ > 0 ? APPEND_STATUS_ADDINZIP : APPEND_STATUS_CREATE, nullptr, &access);
  if (handle == nullptr) {
    Fail(path_ + ": " + (length_ > 0 ? "not a ZIP archive" : std::strerror(errno)));
    return AddResult::kFailed;
  }

  zip_fileinfo fileInfo{};
  struct tm local {};
  time_t mtime = info.st_mtime;
  localtime_r(&mtime, &local);
  fileInfo.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
  fileInfo.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
  fileInfo.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
  fileInfo.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
  fileInfo.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
  fileInfo.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
  fileInfo.external_fa = static_cast<uLong>(info.st_mode & 0xFFFF) << 16;

  const bool deflate = level != 0 && WorthDeflating(in.get(), size);
  // Other names keep their bytes unflagged: a reader that is told a name is
  // UTF-8 while it is not refuses the whole archive.
  const uLong flags = NeedsUtf8Flag(name) ? (1u << 11) : 0u;
  const int zip64 = (size >= 0xFFFF0000u || length_ + size >= 0xFFFF0000u) ? 1 : 0;
  const uLong madeByUnix = (3u << 8) | 20u;
  AddResult result = AddResult::kAdded;
  uLong crc = crc32(0, nullptr, 0);
  int rc = zipOpenNewFileInZip4_64(handle, name.c_str(), &fileInfo, nullptr, 0, nullptr, 0, nullptr,
                                   deflate ? Z_DEFLATED : 0, deflate ? level : 0, 0, -MAX_WBITS, 8,
                                   Z_DEFAULT_STRATEGY, nullptr, 0, madeByUnix, flags, zip64);
  if (rc != ZIP_OK) {
    Fail(name + ": cannot be added (" + std::to_string(rc) + ")");
    result = AddResult::kFailed;
  } else {
    std::vector<char> buffer(std::max<size_t>(bufferSize, 4096));
    uint64_t processed = 0;
    for (;;) {
      ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        Fail(source + ": " + std::strerror(errno));
        result = AddResult::kFailed;
        break;
      }
      if (n == 0) break;
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
      if (zipWriteInFileInZip(handle, buffer.data(), static_cast<unsigned>(n)) != ZIP_OK) {
        Fail(path_ + ": cannot be written (" + std::strerror(errno) + ")");
        result = AddResult::kFailed;
        break;
      }
      processed += static_cast<uint64_t>(n);
      if (callback_ != nullptr && !callback_->Callback(processed, size)) {
        Fail(name + ": cancelled");
        result = AddResult::kCancelled;
        break;
      }
    }
    if (zipCloseFileInZip(handle) != ZIP_OK && result == AddResult::kAdded) {
      Fail(path_ + ": cannot be written (" + std::strerror(errno) + ")");
      result = AddResult::kFailed;
    }
  }
  errno = 0;
  if (zipClose(handle, nullptr) != ZIP_OK && result == AddResult::kAdded) {
    Fail(path_ + ": cannot be written (" + std::strerror(errno != 0 ? errno : EIO) + ")");
    result = AddResult::kFailed;
  }
  struct stat after {};
  if (result == AddResult::kAdded && ::stat(working.c_str(), &after) != 0) {
    Fail(working + ": " + std::strerror(errno));
    result = AddResult::kFailed;
  }
  if (result != AddResult::kAdded) {
    if (!RestoreSnapshot(before)) result = AddResult::kFailed;
    members_ = std::move(membersBefore);
    return result;
  }
  length_ = static_cast<uint64_t>(after.st_size);
  lastAdd_ = std::move(before);
  lastMembers_ = std::move(membersBefore);
  lastName_ = name;
  members_.push_back({name, size, static_cast<uint32_t>(crc)});
  ++netAdds_;
  return AddResult::kAdded;
}

bool CZipArchive::TakeBack() {
  if (!open_ || lastName_.empty()) return Fail("nothing to take back");
  if (!RestoreSnapshot(lastAdd_)) return false;
  members_ = std::move(lastMembers_);
  lastName_.clear();
  --netAdds_;
  return true;
}

bool CZipArchive::Remove(const std::string& name) {
  if (!open_) return Fail("archive not open");
  if (!RemoveFromDirectory(name)) return false;
  lastName_.clear();
  return true;
}

bool CZipArchive::RemoveFromDirectory(const std::string& name) {
  if (std::none_of(members_.begin(), members_.end(), [&](const ListedEntry& m) { return m.Name == name; })) {
    return true;
  }
  Snapshot now;
  if (!TakeSnapshot(now)) return false;
  const std::string& tail = now.tail;
  const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());
  size_t end = tail.size() >= kEndRecordSize ? tail.size() - kEndRecordSize + 1 : 0;
  bool found = false;
  while (end-- > 0) {
    if (Le32(bytes + end) == kEndSignature) {
      found = true;
      break;
    }
  }
  if (!found || end + kEndRecordSize > tail.size()) return Fail(path_ + ": damaged central directory");
  const uint32_t directorySize = Le32(bytes + end + 12);
  if (Le32(bytes + end + 16) == 0xFFFFFFFFu || directorySize != end) return Fail(path_ + ": ZIP64 directory");
  std::string directory;
  uint32_t kept = 0;
  for (size_t at = 0; at < directorySize;) {
    if (at + 46 > directorySize || Le32(bytes + at) != 0x02014b50) return Fail(path_ + ": damaged central directory");
    const size_t nameLength = bytes[at + 28] | bytes[at + 29] << 8;
    const size_t length = 46 + nameLength + (bytes[at + 30] | bytes[at + 31] << 8) + (bytes[at + 32] | bytes[at + 33] << 8);
    if (at + length > directorySize) return Fail(path_ + ": damaged central directory");
    std::string entryName = tail.substr(at + 46, nameLength);
    std::replace(entryName.begin(), entryName.end(), '\\', '/');
    if (entryName != name) {
      directory.append(tail, at, length);
      ++kept;
    }
    at += length;
  }
  std::string record = tail.substr(end);
  auto put16 = [&](size_t offset, uint32_t value) {
    record[offset] = static_cast<char>(value & 0xFF);
    record[offset + 1] = static_cast<char>(value >> 8 & 0xFF);
  };
  put16(8, kept);
  put16(10, kept);
  put16(12, static_cast<uint32_t>(directory.size()) & 0xFFFF);
  put16(14, static_cast<uint32_t>(directory.size()) >> 16);
  Snapshot after;
  after.tailOffset = now.tailOffset;
  after.tail = directory + record;
  after.length = now.tailOffset + after.tail.size();
  if (!RestoreSnapshot(after)) return false;
  members_.erase(std::remove_if(members_.begin(), members_.end(), [&](const ListedEntry& m) { return m.Name == name; }),
                 members_.end());
  unreferenced_ = true;
  ++netAdds_;  // the session changed the archive
  return true;
}

bool CZipArchive::Compact() {
  Snapshot now;
  if (!TakeSnapshot(now)) return false;
  const std::string& tail = now.tail;
  const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());
  auto le16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
  size_t end = tail.size() >= kEndRecordSize ? tail.size() - kEndRecordSize + 1 : 0;
  bool found = false;
  while (end-- > 0) {
    if (Le32(bytes + end) == kEndSignature) {
      found = true;
      break;
    }
  }
  if (!found) return Fail(path_ + ": damaged central directory");
  // A ZIP64 archive keeps its unreferenced bytes: its offsets live in extra fields.
  if (Le32(bytes + end + 16) == 0xFFFFFFFFu || Le32(bytes + end + 12) != end) return true;
  const std::string working = WorkingPath();
  const std::string compacted = working + ".compact";
  FileDescriptor in(::open(working.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return Fail(working + ": " + std::strerror(errno));
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return Fail(working + ": " + std::strerror(errno));
  ::unlink(compacted.c_str());
  FileDescriptor out(::open(compacted.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777));
  if (out.get() < 0) return Fail(compacted + ": " + std::strerror(errno));
  std::string directory = tail.substr(0, end);
  std::vector<char> buffer(1 << 20);
  uint64_t written = 0;
  bool ok = true;
  for (size_t at = 0; ok && at < end;) {
    if (at + 46 > end || Le32(bytes + at) != 0x02014b50) return Fail(path_ + ": damaged central directory");
    const uint32_t compressed = Le32(bytes + at + 20), offset = Le32(bytes + at + 42);
    if (compressed == 0xFFFFFFFFu || offset == 0xFFFFFFFFu) {
      ::unlink(compacted.c_str());
      return true;
    }
    unsigned char local[30];
    if (!ReadAt(in.get(), local, sizeof local, offset) || Le32(local) != 0x04034b50)
      return Fail(path_ + ": damaged member");
    uint64_t length = 30u + (local[26] | local[27] << 8) + (local[28] | local[29] << 8) + uint64_t{compressed};
    if ((le16(at + 8) & 8u) != 0) {
      unsigned char descriptor[4];
      if (!ReadAt(in.get(), descriptor, sizeof descriptor, offset + length)) return Fail(path_ + ": damaged member");
      length += Le32(descriptor) == 0x08074b50 ? 16 : 12;
    }
    if (offset + length > now.tailOffset) return Fail(path_ + ": damaged member");
    for (uint64_t done = 0; ok && done < length;) {
      size_t take = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
      ok = ReadAt(in.get(), buffer.data(), take, offset + done) && WriteAt(out.get(), buffer.data(), take, written + done);
      done += take;
    }
    for (int i = 0; i < 4; ++i) directory[at + 42 + i] = static_cast<char>(written >> (8 * i) & 0xFF);
    written += length;
    at += 46 + le16(at + 28) + le16(at + 30) + le16(at + 32);
  }
  std::string record = tail.substr(end);
  for (int i = 0; i < 4; ++i) record[16 + i] = static_cast<char>(written >> (8 * i) & 0xFF);
  const std::string rest = directory + record;
  ok = ok && WriteAt(out.get(), rest.data(), rest.size(), written);
  int error = ok ? 0 : (errno != 0 ? errno : EIO);
  if (error == 0 && ::close(out.release()) != 0) error = errno;
  if (error == 0 && ::rename(compacted.c_str(), working.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(compacted.c_str());
    return Fail(working + ": " + std::strerror(error));
  }
  length_ = written + rest.size();
  unreferenced_ = false;
  return true;
}

bool CZipArchive::Commit() {
  if (!open_) return Fail("archive not open");
  open_ = false;
  const std::string working = WorkingPath();
  if (netAdds_ == 0) {
    ::unlink(working.c_str());
    return true;
  }
  if (unreferenced_ && !Compact()) {
    ::unlink(working.c_str());
    return false;
  }
  FileDescriptor fd(::open(working.c_str(), O_RDONLY | O_CLOEXEC));
  int error = 0;
  if (fd.get() < 0 || ::fsync(fd.get()) != 0) error = errno;
  if (error == 0 && ::rename(working.c_str(), path_.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(working.c_str());
    return Fail(path_ + ": " + std::strerror(error));
  }
  // The rename itself reaches the disk with the folder.
  std::string folder = path_.substr(0, path_.find_last_of('/') + 1);
  FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

bool CZipArchive::List(const std::string& path, std::vector<ListedEntry>& entries) {
  entries.clear();
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) return false;
  int rc = unzGoToFirstFile(zip);
  for (; rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    char name[4096];
    if ((rc = unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0)) != UNZ_OK) break;
    std::string text(name);
    std::replace(text.begin(), text.end(), '\\', '/');
    text.erase(0, std::min(text.find_first_not_of('/'), text.size()));
    entries.push_back({std::move(text), info.uncompressed_size, static_cast<uint32_t>(info.crc)});
  }
  unzClose(zip);
  return rc == UNZ_END_OF_LIST_OF_FILE;
}

}  // namespace zel::zip
