#include "core/AuditTrail.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/FileLock.h"
#include "core/JsonText.h"
#include "core/Singleton.h"

namespace zel {
namespace {

const std::string kNoLine(64, '0');  // what the very first line chains to

class Digest {
 public:
  Digest() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
  }
  void Update(const void* data, size_t size) { ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, size) == 1; }
  std::string Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
      out += kHex[digest[i] >> 4];
      out += kHex[digest[i] & 15];
    }
    return out;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
  bool ok_ = false;
};

void AppendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    // Bytes above ASCII stay as they are: a path's bytes are its name.
    if (c < 0x80)
      zel::AppendJsonAscii(out, c);
    else
      out += static_cast<char>(c);
  }
  out += '"';
}

// Reads a string value written by AppendQuoted; `pos` is at the opening quote.
bool ReadQuoted(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return false;
    switch (line[pos]) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        if (pos + 4 >= line.size()) return false;
        unsigned value = 0;
        if (std::sscanf(line.c_str() + pos + 1, "%4x", &value) != 1 || value > 0x7f) return false;
        out += static_cast<char>(value);
        pos += 4;
        break;
      }
      default: return false;
    }
  }
  return false;
}

// The last line of the file open at `fd` of `size` bytes, read from its end only.
bool ReadLastLine(int fd, off_t size, std::string& line) {
  line.clear();
  if (size == 0) return true;
  std::string tail;
  off_t chunk = 4096;
  for (;;) {
    off_t start = size > chunk ? size - chunk : 0;
    tail.resize(static_cast<size_t>(size - start));
    if (::pread(fd, tail.data(), tail.size(), start) != static_cast<ssize_t>(tail.size())) return false;
    size_t end = tail.size();
    if (tail[end - 1] == '\n') --end;
    size_t newline = tail.rfind('\n', end == 0 ? 0 : end - 1);
    if (newline != std::string::npos || start == 0) {
      size_t from = newline == std::string::npos ? 0 : newline + 1;
      line = tail.substr(from, end - from);
      return true;
    }
    chunk *= 4;
  }
}

std::string UserName() {
  if (struct passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

std::string HostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return "";
  return buffer;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The number N of a rotated file "audit.log.N", or 0.
unsigned long RotationNumber(const std::string& name, const std::string& base) {
  if (name.size() <= base.size() + 1 || name.compare(0, base.size() + 1, base + ".") != 0) return 0;
  std::string digits = name.substr(base.size() + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) return 0;
  return std::stoul(digits);
}

}  // namespace

AuditTrail::AuditTrail() : AuditTrail(CSettings::SettingsFilePath(true, "audit.log")) {}

AuditTrail::AuditTrail(std::string path, uint64_t rotateBytes) : path_(std::move(path)), rotateBytes_(rotateBytes) {}

std::string AuditTrail::Sha256(const std::string& data) {
  Digest digest;
  digest.Update(data.data(), data.size());
  return digest.Hex();
}

std::string AuditTrail::Sha256OfFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  Digest digest;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return "";
    }
    digest.Update(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return digest.Hex();
}

std::string AuditTrail::NowIso8601() {
  std::time_t now = std::time(nullptr);
  struct tm utc {};
  gmtime_r(&now, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buffer;
}

std::string AuditTrail::Serialize(const AuditRecord& r) {
  std::string out = "{\"seq\":" + std::to_string(r.seq);
  auto field = [&out](const char* key, const std::string& value) {
    out += ",\"";
    out += key;
    out += "\":";
    AppendQuoted(out, value);
  };
  field("time", r.time);
  field("user", r.user);
  field("host", r.host);
  field("action", r.action);
  field("detail", r.detail);
  field("path", r.path);
  field("caller", r.caller);
  field("before", r.before);
  field("after", r.after);
  field("prev", r.prev);
  out += '}';
  return out;
}

bool AuditTrail::Parse(const std::string& line, AuditRecord& r) {
  r = AuditRecord();
  size_t pos = 0;
  if (line.empty() || line[pos++] != '{') return false;
  bool haveSeq = false, havePrev = false;
  while (pos < line.size()) {
    std::string key;
    if (!ReadQuoted(line, pos, key) || pos >= line.size() || line[pos++] != ':') return false;
    if (key == "seq") {
      size_t end = line.find_first_not_of("0123456789", pos);
      if (end == pos || end == std::string::npos || end - pos > 18) return false;
      r.seq = std::stoll(line.substr(pos, end - pos));
      pos = end;
      haveSeq = true;
    } else {
      std::string value;
      if (!ReadQuoted(line, pos, value)) return false;
      if (key == "time") r.time = value;
      else if (key == "user") r.user = value;
      else if (key == "host") r.host = value;
      else if (key == "action") r.action = value;
      else if (key == "detail") r.detail = value;
      else if (key == "path") r.path = value;
      else if (key == "caller") r.caller = value;
      else if (key == "before") r.before = value;
      else if (key == "after") r.after = value;
      else if (key == "prev") r.prev = value, havePrev = true;
    }
    if (pos < line.size() && line[pos] == ',') {
      ++pos;
      continue;
    }
    return pos + 1 == line.size() && line[pos] == '}' && haveSeq && havePrev;
  }
  return false;
}

std::vector<std::string> AuditTrail::Files() const {
  size_t slash = path_.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path_.substr(0, slash);
  std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  std::vector<std::pair<unsigned long, std::string>> rotated;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (struct dirent* item = ::readdir(dir)) {
      if (unsigned long n = RotationNumber(item->d_name, base)) rotated.emplace_back(n, folder + "/" + item->d_name);
    }
    ::closedir(dir);
  }
  std::sort(rotated.begin(), rotated.end());
  std::vector<std::string> files;
  for (auto& [n, name] : rotated) files.push_back(std::move(name));
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0) files.push_back(path_);
  return files;
}

// The line is appended, never rewritten: the trail must keep every earlier byte as
// it was, and a temporary file renamed over it could lose a line another process
// appended meanwhile. O_APPEND + fsync under the lock is the safe writer here.
bool AuditTrail::Append(AuditRecord record, std::string* error) {
  std::vector<AuditRecord> records{std::move(record)};
  return AppendAll(records, error);
}

bool AuditTrail::AppendAll(std::vector<AuditRecord>& records, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  };
  if (records.empty()) return true;
  FileLock lock(path_);
  if (!lock.Locked()) {
    errno = lock.Error();
    return fail("cannot lock " + path_);
  }
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
  if (fd < 0) return fail("cannot open " + path_);
  struct stat info {};
  std::string last;
  if (::fstat(fd, &info) != 0 || !ReadLastLine(fd, info.st_size, last)) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return fail("cannot read " + path_);
  }
  if (last.empty() && info.st_size == 0) {
    // A new file: chain to the last line of the newest rotated file, if any.
    std::vector<std::string> files = Files();
    files.erase(std::remove(files.begin(), files.end(), path_), files.end());
    if (!files.empty()) {
      int old = ::open(files.back().c_str(), O_RDONLY | O_CLOEXEC);
      struct stat oldInfo {};
      if (old >= 0 && ::fstat(old, &oldInfo) == 0) ReadLastLine(old, oldInfo.st_size, last);
      if (old >= 0) ::close(old);
    }
  }
  uint64_t size = static_cast<uint64_t>(info.st_size);
  std::string pending;
  const std::string user = UserName(), host = HostName(), now = NowIso8601();
  for (auto& record : records) {
    // A damaged last line is still chained to, by its bytes; Verify names it.
    AuditRecord previous;
    record.seq = last.empty() ? 1 : (Parse(last, previous) ? previous.seq + 1 : 0);
    record.prev = last.empty() ? kNoLine : Sha256(last);
    if (record.time.empty()) record.time = now;
    if (record.user.empty()) record.user = user;
    if (record.host.empty()) record.host = host;
    last = Serialize(record);
    if (size > 0 && size + pending.size() + last.size() + 1 > rotateBytes_) {
      if (!WriteAll(fd, pending)) {
        ::close(fd);
        return fail("cannot write " + path_);
      }
      size += pending.size();
      pending.clear();
      // The full file is closed under a new number; the new one starts with this line.
      unsigned long next = 1;
      std::string base = path_.substr(path_.rfind('/') + 1);
      for (const auto& file : Files()) {
        next = std::max(next, RotationNumber(file.substr(file.rfind('/') + 1), base) + 1);
      }
      std::string rotated = path_ + "." + std::to_string(next);
      if (::fsync(fd) != 0 || ::close(fd) != 0) return fail("cannot write " + path_);
      if (::rename(path_.c_str(), rotated.c_str()) != 0) return fail("cannot rotate " + path_);
      fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
      if (fd < 0) return fail("cannot open " + path_);
      size = 0;
    }
    pending += last;
    pending += '\n';
  }
  errno = 0;
  bool ok = WriteAll(fd, pending) && ::fsync(fd) == 0;
  int saved = errno;
  ::close(fd);
  errno = saved;
  return ok || fail("cannot write " + path_);
}

AuditTrail::Verification AuditTrail::Verify() const {
  Verification result;
  std::string previousLine;  // of the file before, for the first line of a file
  bool havePrevious = false;
  for (const auto& file : Files()) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));
    auto fault = [&](uint64_t number, const std::string& problem) {
      result.ok = false;
      result.file = file;
      result.line = number;
      result.problem = problem;
      return result;
    };
    auto hashAt = [&](long i) {  // the hash of line i (-1: the last line of the file before)
      if (i >= 0) return Sha256(lines[static_cast<size_t>(i)]);
      return havePrevious ? Sha256(previousLine) : kNoLine;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
      ++result.lines;
      const long at = static_cast<long>(i);
      const std::string name = "line " + std::to_string(i + 1);
      AuditRecord record;
      if (!Parse(lines[i], record)) return fault(i + 1, name + " was changed (it is no audit line)");
      if (record.prev == hashAt(at - 1)) continue;
      // The line does not follow the one before it: find out why.
      AuditRecord next;
      if (i + 1 < lines.size() && Parse(lines[i + 1], next) && next.prev == hashAt(at - 1)) {
        return fault(i + 1, name + " was inserted");
      }
      if (i >= 1 && record.prev == hashAt(at - 2)) return fault(i, "line " + std::to_string(i) + " was inserted");
      AuditRecord before;
      int64_t expected = 0;
      if (i >= 1 && Parse(lines[i - 1], before)) expected = before.seq + 1;
      if (i == 0 && havePrevious && Parse(previousLine, before)) expected = before.seq + 1;
      if (i == 0 && !havePrevious) expected = 1;
      if (expected > 0 && record.seq > expected) {
        return fault(i + 1, "a line was removed before " + name);
      }
      if (i == 0) return fault(1, name + " does not follow the end of the file before");
      return fault(i, "line " + std::to_string(i) + " was changed");
    }
    if (!lines.empty()) {
      previousLine = lines.back();
      havePrevious = true;
    }
  }
  return result;
}

std::vector<AuditRecord> AuditTrail::Read(const Filter& filter) const {
  std::vector<AuditRecord> records;
  for (const auto& file : Files()) {
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      AuditRecord record;
      if (!Parse(line, record)) continue;
      if (!filter.path.empty() && (filter.pathPart ? record.path.find(filter.path) == std::string::npos
                                                   : record.path != filter.path)) {
        continue;
      }
      if (!filter.caller.empty() && record.caller != filter.caller) continue;
      if (!filter.since.empty() && record.time.compare(0, filter.since.size(), filter.since) < 0) continue;
      records.push_back(std::move(record));
    }
  }
  return records;
}

bool AuditTrail::Record(const std::string& action, const std::string& path, const std::string& detail,
                        const std::string& caller, const std::string& before, const std::string& after) {
  AuditRecord record;
  record.action = action;
  record.path = path;
  record.detail = detail;
  record.caller = caller;
  record.before = before;
  record.after = after;
  std::string error;
  if (AuditTrail().Append(std::move(record), &error)) return true;
  Singleton<CKlLogger>::Instance()->LogLine("AuditTrail: %s", error.c_str());
  return false;
}

}  // namespace zel
