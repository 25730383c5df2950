#include "toolkit/zip/CZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <unordered_map>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "core/Utf8.h"

namespace zel::zip {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kSampleSize = 4 * 1024;
// A sample must shrink to at most this share of its size for deflate to be used.
// The sample is packed at zlib's fastest level: what that cannot shrink the
// default level barely shrinks either, and the test stays cheap beside the copy.
constexpr double kWorthDeflating = 0.98;
// A sample with at least this many bits of information per byte (counted byte by
// byte) is taken for noise; 8 is the most there can be.
constexpr double kNoiseBitsPerByte = 7.5;

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
  // One compressor per thread, reset for each sample: setting one up costs more
  // than packing a small call's sample. Its window and hash fit the sample, so
  // that the reset clears little.
  struct Sampler {
    Sampler() { ready = deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -12, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~Sampler() {
      if (ready) deflateEnd(&stream);
    }
    z_stream stream{};
    bool ready = false;
    unsigned char sample[kSampleSize];
    unsigned char packed[2 * kSampleSize];
  };
  static thread_local Sampler sampler;
  if (!sampler.ready || !ReadAt(fd, sampler.sample, sampleSize, offset)) return true;
  // Bytes spread evenly over all values (coded audio) do not shrink; counting them
  // is far cheaper than packing them, which is left for the others.
  uint32_t counts[256] = {};
  for (size_t i = 0; i < sampleSize; ++i) ++counts[sampler.sample[i]];
  double bits = 0;
  for (uint32_t count : counts) {
    if (count != 0) bits -= count * std::log2(static_cast<double>(count) / static_cast<double>(sampleSize));
  }
  if (bits / static_cast<double>(sampleSize) >= kNoiseBitsPerByte) return false;
  z_stream& stream = sampler.stream;
  deflateReset(&stream);
  stream.next_in = sampler.sample;
  stream.avail_in = static_cast<uInt>(sampleSize);
  stream.next_out = sampler.packed;
  stream.avail_out = sizeof sampler.packed;
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return true;
  return static_cast<double>(stream.total_out) <= kWorthDeflating * static_cast<double>(sampleSize);
}

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
    const size_t length = zel::Utf8SequenceLength(p, static_cast<size_t>(end - p));
    if (length == 0) return false;
    high = high || length > 1;
    p += length;
  }
  return high;
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

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr uint32_t kMax32 = 0xFFFFFFFFu;

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
void Put64(std::string& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}
uint32_t Le16(const unsigned char* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }

// The MS-DOS time and date of a modification time, in local time.
void DosTime(time_t mtime, uint32_t& time, uint32_t& date) {
  struct tm local {};
  localtime_r(&mtime, &local);
  if (local.tm_year < 80) local = tm{0, 0, 0, 1, 0, 80, 0, 0, 0, 0, nullptr};
  time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  date = static_cast<uint32_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
}

}  // namespace

bool CZipArchive::ReadDirectory(int fd, uint64_t length) {
  if (length < kEndRecordSize) return Fail(path_ + ": not a ZIP archive");
  // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
  const size_t window = static_cast<size_t>(std::min<uint64_t>(length, kEndRecordSize + 0xFFFF));
  std::vector<unsigned char> tail(window);
  const uint64_t windowStart = length - window;
  if (!ReadAt(fd, tail.data(), window, windowStart)) return Fail(path_ + ": cannot be read");
  size_t end = window - kEndRecordSize + 1;
  bool found = false;
  while (end-- > 0) {
    if (Le32(&tail[end]) == kEndSignature) {
      found = true;
      break;
    }
  }
  if (!found) return Fail(path_ + ": not a ZIP archive");
  const uint64_t endPos = windowStart + end;
  comment_.assign(reinterpret_cast<const char*>(&tail[end + kEndRecordSize]), window - end - kEndRecordSize);
  comment_.resize(std::min<size_t>(comment_.size(), Le16(&tail[end + 20])));
  uint64_t cdOffset = Le32(&tail[end + 16]);
  uint64_t cdSize = Le32(&tail[end + 12]);
  uint64_t cdEnd = endPos;
  if ((cdOffset == kMax32 || cdSize == kMax32 || Le16(&tail[end + 10]) == 0xFFFF) && endPos >= 20) {
    unsigned char locator[20];
    if (ReadAt(fd, locator, sizeof locator, endPos - 20) && Le32(locator) == kZip64LocatorSignature) {
      const uint64_t zip64End = Le64(locator + 8);
      unsigned char record[56];
      if (zip64End + sizeof record > length || !ReadAt(fd, record, sizeof record, zip64End) ||
          Le32(record) != kZip64EndSignature)
        return Fail(path_ + ": damaged ZIP64 end record");
      cdSize = Le64(record + 40);
      cdOffset = Le64(record + 48);
      cdEnd = zip64End;
    }
  }
  if (cdOffset > cdEnd || cdEnd - cdOffset < cdSize) return Fail(path_ + ": damaged central directory");
  std::string directory(static_cast<size_t>(cdSize), '\0');
  if (!directory.empty() && !ReadAt(fd, directory.data(), directory.size(), cdOffset))
    return Fail(path_ + ": cannot be read");
  const auto* bytes = reinterpret_cast<const unsigned char*>(directory.data());
  for (size_t at = 0; at < directory.size();) {
    if (at + 46 > directory.size() || Le32(bytes + at) != kCentralSignature)
      return Fail(path_ + ": damaged central directory");
    const size_t nameLength = Le16(bytes + at + 28), extraLength = Le16(bytes + at + 30);
    const size_t length = 46 + nameLength + extraLength + Le16(bytes + at + 32);
    if (at + length > directory.size()) return Fail(path_ + ": damaged central directory");
    Record record;
    record.central = directory.substr(at, length);
    record.name = directory.substr(at + 46, nameLength);
    std::replace(record.name.begin(), record.name.end(), '\\', '/');
    record.name.erase(0, std::min(record.name.find_first_not_of('/'), record.name.size()));
    record.crc = Le32(bytes + at + 16);
    uint64_t compressed = Le32(bytes + at + 20);
    record.size = Le32(bytes + at + 24);
    record.offset = Le32(bytes + at + 42);
    // ZIP64 values stand in the extra field in this order, for the fields that overflowed.
    const unsigned char* extra = bytes + at + 46 + nameLength;
    for (size_t e = 0; e + 4 <= extraLength;) {
      const size_t size = Le16(extra + e + 2);
      if (Le16(extra + e) == 1) {
        size_t v = e + 4;
        auto take = [&](uint64_t& value) {
          if (value == kMax32 && v + 8 <= e + 4 + size && v + 8 <= extraLength) {
            value = Le64(extra + v);
            v += 8;
          }
        };
        take(record.size);
        take(compressed);
        take(record.offset);
      }
      e += 4 + size;
    }
    record.compressed = compressed;
    AddRecord(std::move(record));
    at += length;
  }
  dataEnd_ = cdOffset;
  return true;
}

void CZipArchive::AddRecord(Record record) {
  byName_.emplace(record.name, records_.size());
  directoryBytes_ += record.central.size();
  records_.push_back(std::move(record));
}

void CZipArchive::Kill(size_t index) {
  Record& record = records_[index];
  if (!record.live) return;
  record.live = false;
  directoryBytes_ -= record.central.size();
  ++dead_;
  auto [first, last] = byName_.equal_range(record.name);
  for (auto it = first; it != last; ++it) {
    if (it->second == index) {
      byName_.erase(it);
      break;
    }
  }
}

void CZipArchive::Revive(size_t index) {
  Record& record = records_[index];
  if (record.live) return;
  record.live = true;
  directoryBytes_ += record.central.size();
  --dead_;
  byName_.emplace(record.name, index);
}

uint64_t CZipArchive::EndRecordsSize() const {
  const size_t live = records_.size() - dead_;
  const bool zip64 = live >= 0xFFFF || dataEnd_ >= kMax32 || directoryBytes_ >= kMax32;
  return kEndRecordSize + comment_.size() + (zip64 ? 56 + 20 : 0);
}

void CZipArchive::UpdateLength() { length_ = dataEnd_ + directoryBytes_ + EndRecordsSize(); }

bool CZipArchive::Open(const std::string& path) {
  if (open_) return Fail("archive already open");
  path_ = path;
  lastError_.clear();
  length_ = dataEnd_ = directoryBytes_ = 0;
  netAdds_ = 0;
  dead_ = 0;
  records_.clear();
  byName_.clear();
  comment_.clear();
  last_ = LastAdd{};
  if (!RecoverInterrupted()) return false;
  struct stat info {};
  bool existed = ::stat(path_.c_str(), &info) == 0;
  if (!existed && errno != ENOENT) return Fail(path_ + ": " + std::strerror(errno));
  if (existed && S_ISDIR(info.st_mode)) return Fail(path_ + ": is a folder");
  if (existed && !S_ISREG(info.st_mode)) return Fail(path_ + ": not a regular file");
  if (!MakeWorkingCopy(existed)) return false;
  fd_ = ::open(WorkingPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    Fail(path_ + ": " + std::strerror(errno));
    ::unlink(WorkingPath().c_str());
    return false;
  }
  if (existed && !ReadDirectory(fd_, length_)) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(WorkingPath().c_str());
    if (lastError_.find("not a ZIP") == std::string::npos) lastError_ = path_ + ": not a ZIP archive";
    return false;
  }
  UpdateLength();
  open_ = true;
  return true;
}

void CZipArchive::Abandon() {
  if (!open_) return;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(WorkingPath().c_str());
  open_ = false;
}

// True when a member of this name holds exactly the bytes of `source`.
bool CZipArchive::IsPresent(const std::string& source, const std::string& name, uint64_t size) {
  auto [first, last] = byName_.equal_range(name);
  if (std::none_of(first, last, [&](const auto& hit) { return records_[hit.second].size == size; })) return false;
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
  return std::any_of(first, last, [&](const auto& hit) {
    return records_[hit.second].size == size && records_[hit.second].crc == static_cast<uint32_t>(crc);
  });
}

CZipArchive::AddResult CZipArchive::AddFile(const std::string& source, const std::string& name, int level,
                                             size_t bufferSize) {
  if (!open_) {
    Fail("archive not open");
    return AddResult::kFailed;
  }
  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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

  // A changed call replaces its older copy: one member per name, so that the
  // index and a reader of the archive see the same bytes.
  std::vector<size_t> replaced;
  {
    auto [first, last] = byName_.equal_range(name);
    for (auto it = first; it != last; ++it) replaced.push_back(it->second);
  }
  for (size_t index : replaced) Kill(index);
  const uint64_t start = dataEnd_;
  auto undo = [&](AddResult result) {
    ::ftruncate(fd_, static_cast<off_t>(start));
    dataEnd_ = start;
    for (size_t index : replaced) Revive(index);
    UpdateLength();
    return result;
  };

  uint32_t dosTime = 0, dosDate = 0;
  DosTime(info.st_mtime, dosTime, dosDate);
  const bool packs = level != 0 && WorthDeflating(in.get(), size);
  // Other names keep their bytes unflagged: a reader that is told a name is
  // UTF-8 while it is not refuses the whole archive.
  const uint32_t flags = NeedsUtf8Flag(name) ? (1u << 11) : 0u;
  const bool zip64 = size >= 0xFFFF0000u || start + size >= 0xFFFF0000u;
  const uint32_t needed = zip64 ? 45 : 20;
  std::string local;
  Put32(local, kLocalSignature);
  Put16(local, needed);
  Put16(local, flags);
  Put16(local, packs ? Z_DEFLATED : 0);
  Put16(local, dosTime);
  Put16(local, dosDate);
  Put32(local, 0);  // crc and sizes follow once the data is written
  Put32(local, zip64 ? kMax32 : 0);
  Put32(local, zip64 ? kMax32 : 0);
  Put16(local, static_cast<uint32_t>(name.size()));
  Put16(local, zip64 ? 20 : 0);
  local += name;
  if (zip64) {
    Put16(local, 1);
    Put16(local, 16);
    Put64(local, 0);
    Put64(local, 0);
  }

  std::string pending = local;
  uint64_t written = 0;  // of the member's data
  // Member bytes are gathered and written in large pieces at the end of the data.
  uint64_t at = start;
  auto emit = [&](const char* data, size_t length, bool force) {
    if (length > 0) pending.append(data, length);
    if (!force && pending.size() < (1u << 20)) return true;
    if (!pending.empty() && !WriteAt(fd_, pending.data(), pending.size(), at)) return false;
    at += pending.size();
    pending.clear();
    return true;
  };

  z_stream stream{};
  if (packs && deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    Fail(name + ": cannot be compressed");
    return undo(AddResult::kFailed);
  }
  std::vector<char> buffer(std::max<size_t>(bufferSize, 4096));
  std::vector<char> packed(packs ? deflateBound(&stream, static_cast<uLong>(buffer.size())) + 64 : 0);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t processed = 0;
  AddResult result = AddResult::kAdded;
  auto pack = [&](const char* data, size_t length, int flush) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(length);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(packed.data());
      stream.avail_out = static_cast<uInt>(packed.size());
      if (deflate(&stream, flush) == Z_STREAM_ERROR) return false;
      const size_t produced = packed.size() - stream.avail_out;
      written += produced;
      if (!emit(packed.data(), produced, false)) return false;
    } while (stream.avail_out == 0 || (flush == Z_FINISH && stream.avail_in > 0));
    return true;
  };
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
    bool ok;
    if (packs) {
      ok = pack(buffer.data(), static_cast<size_t>(n), Z_NO_FLUSH);
    } else {
      written += static_cast<uint64_t>(n);
      ok = emit(buffer.data(), static_cast<size_t>(n), false);
    }
    if (!ok) {
      Fail(path_ + ": cannot be written (" + std::strerror(errno != 0 ? errno : EIO) + ")");
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
  if (result == AddResult::kAdded && packs && !pack(nullptr, 0, Z_FINISH)) {
    Fail(path_ + ": cannot be written (" + std::strerror(errno != 0 ? errno : EIO) + ")");
    result = AddResult::kFailed;
  }
  if (packs) deflateEnd(&stream);
  if (result == AddResult::kAdded && !emit(nullptr, 0, true)) {
    Fail(path_ + ": cannot be written (" + std::strerror(errno != 0 ? errno : EIO) + ")");
    result = AddResult::kFailed;
  }
  if (result == AddResult::kAdded && processed != size) {
    Fail(source + ": changed while it was read");
    result = AddResult::kFailed;
  }
  // The crc and sizes into the local header, now that they are known.
  std::string sizes;
  Put32(sizes, static_cast<uint32_t>(crc));
  Put32(sizes, zip64 ? kMax32 : static_cast<uint32_t>(written));
  Put32(sizes, zip64 ? kMax32 : static_cast<uint32_t>(size));
  if (result == AddResult::kAdded && !WriteAt(fd_, sizes.data(), sizes.size(), start + 14)) result = AddResult::kFailed;
  if (result == AddResult::kAdded && zip64) {
    std::string extra;
    Put64(extra, size);
    Put64(extra, written);
    if (!WriteAt(fd_, extra.data(), extra.size(), start + 30 + name.size() + 4)) result = AddResult::kFailed;
  }
  if (result != AddResult::kAdded) {
    if (lastError_.empty()) Fail(path_ + ": cannot be written (" + std::strerror(errno != 0 ? errno : EIO) + ")");
    return undo(result);
  }

  Record record;
  record.name = name;
  record.size = size;
  record.compressed = written;
  record.crc = static_cast<uint32_t>(crc);
  record.offset = start;
  record.end = start + local.size() + written;
  const bool offset64 = start >= kMax32;
  std::string& central = record.central;
  Put32(central, kCentralSignature);
  Put16(central, 3u << 8 | needed);  // made by Unix
  Put16(central, needed);
  Put16(central, flags);
  Put16(central, packs ? Z_DEFLATED : 0);
  Put16(central, dosTime);
  Put16(central, dosDate);
  Put32(central, static_cast<uint32_t>(crc));
  Put32(central, zip64 ? kMax32 : static_cast<uint32_t>(written));
  Put32(central, zip64 ? kMax32 : static_cast<uint32_t>(size));
  Put16(central, static_cast<uint32_t>(name.size()));
  Put16(central, zip64 || offset64 ? (zip64 ? 16 : 0) + (offset64 ? 8 : 0) + 4 : 0);
  Put16(central, 0);  // comment
  Put16(central, 0);  // disk
  Put16(central, 0);  // internal attributes
  Put32(central, static_cast<uint32_t>(info.st_mode & 0xFFFF) << 16);
  Put32(central, offset64 ? kMax32 : static_cast<uint32_t>(start));
  central += name;
  if (zip64 || offset64) {
    Put16(central, 1);
    Put16(central, (zip64 ? 16 : 0) + (offset64 ? 8 : 0));
    if (zip64) {
      Put64(central, size);
      Put64(central, written);
    }
    if (offset64) Put64(central, start);
  }
  dataEnd_ = record.end;
  last_ = LastAdd{true, start, records_.size(), std::move(replaced)};
  AddRecord(std::move(record));
  UpdateLength();
  ++netAdds_;
  return AddResult::kAdded;
}

bool CZipArchive::TakeBack() {
  if (!open_ || !last_.valid) return Fail("nothing to take back");
  if (::ftruncate(fd_, static_cast<off_t>(last_.start)) != 0) return Fail(WorkingPath() + ": " + std::strerror(errno));
  Kill(last_.record);
  // Taken back whole: the record is not dead bytes to leave out but no bytes at all.
  --dead_;
  records_.pop_back();
  for (size_t index : last_.replaced) Revive(index);
  dataEnd_ = last_.start;
  last_ = LastAdd{};
  --netAdds_;
  UpdateLength();
  return true;
}

bool CZipArchive::Remove(const std::string& name) {
  if (!open_) return Fail("archive not open");
  std::vector<size_t> named;
  auto [first, last] = byName_.equal_range(name);
  for (auto it = first; it != last; ++it) named.push_back(it->second);
  for (size_t index : named) Kill(index);
  last_ = LastAdd{};
  if (!named.empty()) ++netAdds_;  // the session changed the archive
  UpdateLength();
  return true;
}

// The bytes a member takes before the central directory: its local header, its
// data and a data descriptor after them.
bool CZipArchive::MemberEnd(const Record& record, uint64_t& end) {
  if (record.end != 0) {
    end = record.end;
    return true;
  }
  unsigned char local[30];
  if (!ReadAt(fd_, local, sizeof local, record.offset) || Le32(local) != kLocalSignature)
    return Fail(path_ + ": damaged member " + record.name);
  end = record.offset + 30 + Le16(local + 26) + Le16(local + 28) + record.compressed;
  if ((Le16(local + 6) & 8u) != 0) {
    unsigned char descriptor[4];
    if (!ReadAt(fd_, descriptor, sizeof descriptor, end)) return Fail(path_ + ": damaged member " + record.name);
    const bool big = record.compressed >= kMax32 || record.size >= kMax32;
    end += (Le32(descriptor) == kDescriptorSignature ? 4 : 0) + (big ? 20 : 12);
  }
  return true;
}

bool CZipArchive::Compact() {
  const std::string working = WorkingPath();
  const std::string compacted = working + ".compact";
  ::unlink(compacted.c_str());
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Fail(working + ": " + std::strerror(errno));
  FileDescriptor out(::open(compacted.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777));
  if (out.get() < 0) return Fail(compacted + ": " + std::strerror(errno));
  std::vector<char> buffer(1 << 20);
  uint64_t written = 0;
  for (Record& record : records_) {
    if (!record.live) continue;
    uint64_t end = 0;
    if (!MemberEnd(record, end) || end > dataEnd_ || end < record.offset) {
      ::unlink(compacted.c_str());
      return lastError_.empty() ? Fail(path_ + ": damaged member " + record.name) : false;
    }
    // A member far out keeps its place: its offset lives in a ZIP64 field.
    const uint32_t offsetField = Le32(reinterpret_cast<const unsigned char*>(record.central.data()) + 42);
    if (offsetField == kMax32 || written >= kMax32) {
      ::unlink(compacted.c_str());
      return true;
    }
    for (uint64_t done = 0; done < end - record.offset;) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(buffer.size(), end - record.offset - done));
      if (!ReadAt(fd_, buffer.data(), take, record.offset + done) ||
          !WriteAt(out.get(), buffer.data(), take, written + done)) {
        const int error = errno != 0 ? errno : EIO;
        ::unlink(compacted.c_str());
        return Fail(working + ": " + std::strerror(error));
      }
      done += take;
    }
    for (int i = 0; i < 4; ++i) record.central[42 + i] = static_cast<char>(written >> (8 * i) & 0xFF);
    const uint64_t length = end - record.offset;
    record.offset = written;
    written += length;
    record.end = written;
  }
  return SwapIn(out.release(), compacted);
}

bool CZipArchive::SwapIn(int out, const std::string& compacted) {
  // Offsets were rewritten while copying; the data now ends where the last copy ended.
  uint64_t end = 0;
  std::vector<Record> live;
  for (Record& record : records_) {
    if (record.live) live.push_back(std::move(record));
  }
  records_ = std::move(live);
  byName_.clear();
  for (size_t i = 0; i < records_.size(); ++i) byName_.emplace(records_[i].name, i);
  dead_ = 0;
  const std::string working = WorkingPath();
  if (::rename(compacted.c_str(), working.c_str()) != 0) {
    const int error = errno;
    ::close(out);
    ::unlink(compacted.c_str());
    return Fail(working + ": " + std::strerror(error));
  }
  ::close(fd_);
  fd_ = out;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Fail(working + ": " + std::strerror(errno));
  end = static_cast<uint64_t>(info.st_size);
  dataEnd_ = end;
  UpdateLength();
  return true;
}

bool CZipArchive::Commit() {
  if (!open_) return Fail("archive not open");
  open_ = false;
  const std::string working = WorkingPath();
  auto fail = [&](int error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(working.c_str());
    return Fail(path_ + ": " + std::strerror(error));
  };
  if (netAdds_ == 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(working.c_str());
    return true;
  }
  if (dead_ > 0 && !Compact()) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(working.c_str());
    return false;
  }
  // The directory of every live member, once, then the end records.
  std::string tail;
  tail.reserve(static_cast<size_t>(directoryBytes_) + 200);
  uint64_t count = 0;
  for (const Record& record : records_) {
    if (!record.live) continue;
    tail += record.central;
    ++count;
  }
  const uint64_t cdOffset = dataEnd_, cdSize = tail.size();
  if (count >= 0xFFFF || cdOffset >= kMax32 || cdSize >= kMax32) {
    const uint64_t zip64End = cdOffset + cdSize;
    Put32(tail, kZip64EndSignature);
    Put64(tail, 44);
    Put16(tail, 3u << 8 | 45);
    Put16(tail, 45);
    Put32(tail, 0);
    Put32(tail, 0);
    Put64(tail, count);
    Put64(tail, count);
    Put64(tail, cdSize);
    Put64(tail, cdOffset);
    Put32(tail, kZip64LocatorSignature);
    Put32(tail, 0);
    Put64(tail, zip64End);
    Put32(tail, 1);
  }
  Put32(tail, kEndSignature);
  Put16(tail, 0);
  Put16(tail, 0);
  Put16(tail, static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF)));
  Put16(tail, static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF)));
  Put32(tail, static_cast<uint32_t>(std::min<uint64_t>(cdSize, kMax32)));
  Put32(tail, static_cast<uint32_t>(std::min<uint64_t>(cdOffset, kMax32)));
  Put16(tail, static_cast<uint32_t>(comment_.size()));
  tail += comment_;
  if (!WriteAt(fd_, tail.data(), tail.size(), cdOffset) ||
      ::ftruncate(fd_, static_cast<off_t>(cdOffset + tail.size())) != 0 || ::fsync(fd_) != 0)
    return fail(errno != 0 ? errno : EIO);
  length_ = cdOffset + tail.size();
  if (::close(fd_) != 0) {
    fd_ = -1;
    return fail(errno);
  }
  fd_ = -1;
  if (::rename(working.c_str(), path_.c_str()) != 0) return fail(errno);
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
