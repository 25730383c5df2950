#include "recording/CKlRecordFileHdr.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <ctime>
#include <utility>

#include "codec/SampleRate.h"
#include "core/AtomicFile.h"
#include "core/Cp1252.h"
#include "core/RegularFile.h"
#include "recording/FormatTag.h"

namespace {

// Field offsets in the 1440-byte record.
constexpr int kOffVersion = 0;
constexpr int kOffHeaderSize = 4;
constexpr int kOffFormatTag = 8;
constexpr int kOffImportant = 12;
constexpr int kOffCallerId = 16;
constexpr int kOffComment = 144;
constexpr int kOffStartTime = 1168;
constexpr int kOffDuration = 1172;
constexpr int kOffReserved1 = 1176;
constexpr int kOffUserId = 1180;
constexpr int kOffAuxCode = 1308;
constexpr int kOffSiteCode = 1312;
constexpr int kOffAuxDuration = 1432;
constexpr int kOffReserved2 = 1436;

constexpr int kCommentLength = CKlRecordFileHdr::kCommentSize - 1;  // 1023
constexpr uint8_t kKeyCheckXor = 0x80;

const char kBookmarkLead[] = "Bookmark at: ";
const char kTrailerLead[] = "\r\n\r\n### System information do no edit! ###\r\n";

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    if (c >= 0x80) {
      if ((c & 0xE0) == 0xC0) extra = 1;
      else if ((c & 0xF0) == 0xE0) extra = 2;
      else if ((c & 0xF8) == 0xF0) extra = 3;
      else return false;
    }
    if (i + extra >= s.size() + (extra == 0 ? 1 : 0)) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// strftime output is in the encoding of the LC_TIME locale; the system shows UTF-8.
std::string LocaleTextToUtf8(const std::string& text) {
  if (IsValidUtf8(text)) return text;
  std::string out;
  const char* timeLocale = setlocale(LC_TIME, nullptr);
  locale_t loc = newlocale(LC_CTYPE_MASK, timeLocale ? timeLocale : "C", static_cast<locale_t>(0));
  if (loc != static_cast<locale_t>(0)) {
    const char* codeset = nl_langinfo_l(CODESET, loc);
    iconv_t cd = iconv_open("UTF-8", codeset);
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      std::string in = text;
      out.assign(in.size() * 4 + 4, '\0');
      char* inPtr = in.data();
      size_t inLeft = in.size();
      char* outPtr = out.data();
      size_t outLeft = out.size();
      if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
        out.clear();
      } else {
        out.resize(out.size() - outLeft);
      }
      iconv_close(cd);
    }
    freelocale(loc);
  }
  if (!out.empty() && IsValidUtf8(out)) return out;
  out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return out;
}

// The first `count` characters of a UTF-8 text.
std::string FirstUtf8Chars(const std::string& text, size_t count) {
  size_t i = 0;
  for (size_t n = 0; n < count && i < text.size(); ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return text.substr(0, i);
}

// "integer, separator, integer, separator, integer" as the bookmark times are
// written; leading white space before each integer is skipped.
bool ParseHms(std::string_view text, int& seconds) {
  size_t i = 0;
  long long parts[3];
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      if (i >= text.size()) return false;
      ++i;  // one separator character of any kind
    }
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    size_t digitsStart = i;
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (value < 100000000) value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == digitsStart) return false;
    parts[part] = negative ? -value : value;
  }
  long long total = parts[0] * 3600 + parts[1] * 60 + parts[2];
  if (total < INT32_MIN || total > INT32_MAX) return false;
  seconds = static_cast<int>(total);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

CKlRecordFileHdr::CKlRecordFileHdr() { ResetToNew(); }

CKlRecordFileHdr::~CKlRecordFileHdr() = default;

void CKlRecordFileHdr::ResetToNew() {
  std::memset(Record_, 0, sizeof(Record_));
  PutU32(kOffVersion, 4);
  PutU32(kOffHeaderSize, kRecordSize);
  PutU32(kOffFormatTag, static_cast<uint32_t>(-1));
  PutU32(kOffStartTime, static_cast<uint32_t>(static_cast<int32_t>(std::time(nullptr))));
  PutU32(kOffAuxCode, 0xFFFFFFFFu);
  SetText(kOffSiteCode, kSiteCodeSize, "Unknown");
  PrefixVersion_ = 5;
  KeySizeCode_ = -1;
  std::memset(KeyCheck_, 0, sizeof(KeyCheck_));
  KeyString_.clear();
  std::memset(Passphrase_, 0, sizeof(Passphrase_));
  Encrypted_ = 0;
  Writable_ = 1;
  LoadCache_ = 0;
}

void CKlRecordFileHdr::ClearForRead() {
  std::memset(Record_, 0, sizeof(Record_));
  SetText(kOffSiteCode, kSiteCodeSize, "n/a");
  Encrypted_ = 0;
  PrefixVersion_ = 5;
  KeySizeCode_ = -1;
  std::memset(KeyCheck_, 0, sizeof(KeyCheck_));
  KeyString_.clear();
  Writable_ = 0;
}

uint32_t CKlRecordFileHdr::U32(int offset) const { return GetLe32(Record_ + offset); }
void CKlRecordFileHdr::PutU32(int offset, uint32_t value) { PutLe32(Record_ + offset, value); }

std::string_view CKlRecordFileHdr::Text(int offset, int size) const {
  const char* field = reinterpret_cast<const char*>(Record_ + offset);
  // The last byte of a field is its terminator even when the file has none there.
  return std::string_view(field, strnlen(field, static_cast<size_t>(size - 1)));
}

void CKlRecordFileHdr::SetText(int offset, int size, const std::string& raw) {
  std::memset(Record_ + offset, 0, static_cast<size_t>(size));
  size_t n = raw.size() < static_cast<size_t>(size - 1) ? raw.size() : static_cast<size_t>(size - 1);
  std::memcpy(Record_ + offset, raw.data(), n);
}

int CKlRecordFileHdr::ReadHeader(FILE* file, const std::string& passphrase) {
  ClearForRead();
  uint8_t data[kPrefixSize + kRecordSize];
  size_t got = 0;
  if (file != nullptr && fseeko(file, 0, SEEK_SET) == 0) got = fread(data, 1, sizeof(data), file);
  int64_t fileLength = -1;
  struct stat st;
  if (file != nullptr) {
    int fd = fileno(file);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      fileLength = static_cast<int64_t>(st.st_size);
    } else if (fseeko(file, 0, SEEK_END) == 0) {
      fileLength = static_cast<int64_t>(ftello(file));
    }
  }
  int result = ParseHeader(data, got, fileLength, passphrase);
  if (file != nullptr && result > 0) {
    off_t audio = Encrypted_ ? kPrefixSize + kRecordSize : result;
    // A stream that cannot seek past its end (a file cut inside its header read from
    // memory) has no audio either way: leave it at its end.
    if (fseeko(file, audio, SEEK_SET) != 0) fseeko(file, 0, SEEK_END);
  }
  return result;
}

int CKlRecordFileHdr::ParseHeader(const uint8_t* data, size_t got, int64_t fileLength,
                                  const std::string& passphrase) {
  ClearForRead();
  if (got < 8) {
    std::memset(Record_, 0, sizeof(Record_));
    SetText(kOffCallerId, kCallerIdSize, "ERROR!");
    SetText(kOffComment, kCommentSize, "Disk or network error occured while reading file!");
    return 0;
  }
  std::memcpy(Record_, data, 8);
  uint32_t version = U32(kOffVersion);
  if (version < 1 || version > 5) return -1;

  if (version == 5) {
    Encrypted_ = 1;
    int result = ParseVersion5(data, got, passphrase);
    Writable_ = result == kRecordSize ? 1 : 0;
    return result;
  }

  // The stored HeaderSize is not trusted; the version decides.
  int length = version == 1 ? kVersion1Size : kRecordSize;
  // A short file leaves the rest of the record as cleared.
  size_t available = got < static_cast<size_t>(length) ? got : static_cast<size_t>(length);
  std::memcpy(Record_ + 8, data + 8, available - 8);
  PutU32(kOffHeaderSize, static_cast<uint32_t>(length));
  if (version == 4 && U32(kOffDuration) == 0) DeriveVersion4Duration(fileLength);
  Writable_ = 1;
  return length;
}

void CKlRecordFileHdr::DeriveVersion4Duration(int64_t fileLength) {
  if (fileLength < 0) return;
  // No audio at all (a file cut inside its header) is no time at all.
  uint32_t audio = fileLength > kRecordSize ? static_cast<uint32_t>(fileLength - kRecordSize) : 0;
  uint32_t duration = 0;
  switch (FormatTag()) {
    case zel::kFormatALaw:
    case zel::kFormatMuLaw: duration = audio / zel::kSamplesPerSecond; break;
    case zel::kFormatIma: duration = static_cast<uint32_t>((static_cast<uint64_t>(audio >> 8) * 504) / zel::kSamplesPerSecond); break;
    case zel::kFormatGsm: duration = static_cast<uint32_t>((static_cast<uint64_t>(audio / 33) * 160) / zel::kSamplesPerSecond); break;
    default: break;
  }
  PutU32(kOffDuration, duration);
}

int CKlRecordFileHdr::ParseVersion5(const uint8_t* data, size_t got, const std::string& passphrase) {
  if (passphrase.empty() || got < static_cast<size_t>(kPrefixSize)) return 0;
  const uint8_t* prefix = data;
  PrefixVersion_ = GetLe32(prefix);
  KeySizeCode_ = static_cast<int32_t>(GetLe32(prefix + 4));
  for (int i = 0; i < kKeyCheckSize; ++i) KeyCheck_[i] = prefix[8 + i] ^ kKeyCheckXor;
  KeyString_.assign(reinterpret_cast<const char*>(KeyCheck_),
                    strnlen(reinterpret_cast<const char*>(KeyCheck_), kKeyCheckSize));

  size_t keep = passphrase.size() < kPassphraseSize - 1 ? passphrase.size() : kPassphraseSize - 1;
  std::memset(Passphrase_, 0, sizeof(Passphrase_));
  std::memcpy(Passphrase_, passphrase.data(), keep);

  if (Cipher_.ComputeKeyString(passphrase) != KeyString_) return 0;
  if (got < static_cast<size_t>(kPrefixSize + kRecordSize)) return 0;
  // The stored key string, not the computed one, is the key material.
  if (Cipher_.DecryptBuffer(kRecordSize, data + kPrefixSize, Record_, KeyString_, KeySizeCode_) !=
      kRecordSize) {
    std::memset(Record_, 0, sizeof(Record_));
    return 0;
  }
  return kRecordSize;
}

int CKlRecordFileHdr::LoadHeader(const std::string& path, const std::string& passphrase, int folderFd) {
  if (path.empty()) return 0;
  if (LoadCache_ != 0) return LoadCache_;
  // One open and one read: lists load thousands of headers in a row.
  const size_t slash = path.rfind('/');
  int fd = folderFd >= 0 && slash != std::string::npos
               ? zel::OpenRegularFile(path.c_str() + slash + 1, O_RDONLY, folderFd)
               : zel::OpenRegularFile(path, O_RDONLY);
  if (fd < 0) {
    std::memset(Record_, 0, sizeof(Record_));
    PutU32(kOffVersion, 4);
    PutU32(kOffHeaderSize, kRecordSize);
    PutU32(kOffFormatTag, static_cast<uint32_t>(-1));
    PutU32(kOffAuxCode, 0xFFFFFFFFu);
    SetText(kOffSiteCode, kSiteCodeSize, "Load failed");
    Encrypted_ = 0;
    Writable_ = 0;
    return 0;
  }
  const int result = LoadHeaderFrom(fd, passphrase);
  ::close(fd);
  return result;
}

int CKlRecordFileHdr::LoadHeaderFrom(int fd, const std::string& passphrase, int64_t fileLength) {
  if (LoadCache_ != 0) return LoadCache_;
  uint8_t data[kPrefixSize + kRecordSize];
  size_t got = 0;
  while (got < sizeof(data)) {
    ssize_t n = ::pread(fd, data + got, sizeof(data) - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    // A file known to be this short has nothing more to give.
    if (fileLength >= 0 && static_cast<int64_t>(got) >= fileLength) break;
  }
  // Only a version-4 header without a duration needs the file's length.
  const bool durationFromLength =
      got >= 8 && GetLe32(data + kOffVersion) == 4 &&
      (got < static_cast<size_t>(kOffDuration + 4) || GetLe32(data + kOffDuration) == 0);
  struct stat st;
  if (!durationFromLength) fileLength = -1;
  else if (fileLength < 0 && ::fstat(fd, &st) == 0) fileLength = static_cast<int64_t>(st.st_size);
  int result = ParseHeader(data, got, fileLength, passphrase);
  LoadCache_ = result;
  return result;
}

bool CKlRecordFileHdr::BuildFileBytes(std::string& bytes) {
  if (!Writable_) return false;
  if (Version() != 1) {
    PutU32(kOffVersion, 4);
    PutU32(kOffHeaderSize, kRecordSize);
  }
  if (!Encrypted_) {
    int length = Version() == 1 ? kVersion1Size : kRecordSize;
    bytes.assign(reinterpret_cast<const char*>(Record_), static_cast<size_t>(length));
    return true;
  }
  uint8_t encrypted[kRecordSize];
  if (Cipher_.EncryptHeader(Record_, encrypted, KeyString_, KeySizeCode_) != kRecordSize) return false;
  uint8_t prefix[kPrefixSize];
  PutLe32(prefix, PrefixVersion_);
  PutLe32(prefix + 4, static_cast<uint32_t>(KeySizeCode_));
  // The key check is the key string NUL-padded, whatever followed it when read.
  uint8_t check[kKeyCheckSize] = {};
  std::memcpy(check, KeyString_.data(), std::min<size_t>(KeyString_.size(), kKeyCheckSize));
  for (int i = 0; i < kKeyCheckSize; ++i) prefix[8 + i] = check[i] ^ kKeyCheckXor;
  bytes.assign(reinterpret_cast<const char*>(prefix), kPrefixSize);
  bytes.append(reinterpret_cast<const char*>(encrypted), kRecordSize);
  return true;
}

bool CKlRecordFileHdr::WriteHeader(FILE* file) {
  if (file == nullptr) return false;
  std::string bytes;
  if (!BuildFileBytes(bytes)) return false;
  if (fseeko(file, 0, SEEK_SET) != 0) return false;
  if (fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return false;
  return fflush(file) == 0;
}

int CKlRecordFileHdr::SaveHeader(const std::string& path) {
  if (path.empty()) return 0;
  if (!FileExists(path)) {
    // A header-only file (what the archive's "remove audio" leaves behind).
    std::string bytes;
    if (!BuildFileBytes(bytes)) return 0;
    return zel::WriteFileAtomically(path, bytes) ? 1 : 0;
  }
  FILE* file = zel::OpenRegularStream(path, "r+b");
  if (file == nullptr) return 0;
  bool ok = WriteHeader(file);
  if (std::fclose(file) != 0) ok = false;
  return ok ? 1 : 0;
}

int32_t CKlRecordFileHdr::LocalStartTime() const {
  const std::string_view site = Text(kOffSiteCode, kSiteCodeSize);
  if (site != "VLUK" && site != "ZOvAR") return StartTime();
  tzset();
  // `timezone` is the standard-time offset in seconds west of UTC.
  int64_t shifted = static_cast<int64_t>(StartTime()) + static_cast<int64_t>(timezone);
  return static_cast<int32_t>(static_cast<uint32_t>(shifted));
}

namespace {

size_t Utf8Length(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// `format` with every `from` replaced by `to`.
std::string ReplaceAll(std::string format, const std::string& from, const std::string& to) {
  for (size_t at = format.find(from); at != std::string::npos; at = format.find(from, at + to.size()))
    format.replace(at, from.size(), to);
  return format;
}

// Appends `parts` formatted by `format` to `text`; nothing for an empty format or
// a text too long for the field.
void AppendTm(std::string& text, const std::string& format, const struct tm& parts) {
  char buffer[32];
  if (format.empty()) return;
  const size_t n = strftime(buffer, sizeof(buffer), format.c_str(), &parts);
  text.append(buffer, n);
}

// The date and time formats FormatDateTime tries in turn, longest text first.
struct DateTimeFormats {
  std::string locale;  // the LC_TIME locale they were made for
  std::pair<std::string, std::string> candidates[3];
};

// The locale's formats, made again only when LC_TIME changes: lists format the
// date of every recording they load.
const DateTimeFormats& FormatsOfLocale() {
  thread_local DateTimeFormats formats;
  thread_local bool made = false;
  const char* locale = setlocale(LC_TIME, nullptr);
  if (locale == nullptr) locale = "";
  if (made && formats.locale == locale) return formats;
  // A 12-hour locale's text ("03/15/2012 03:15:00 PM") is longer than the field:
  // shorten it where it loses least, seconds first, then the century, so the AM/PM
  // marker stays.
  const std::string dateFormat = nl_langinfo(D_FMT);
  std::string timeFormat = ReplaceAll(nl_langinfo(T_FMT), "%r", nl_langinfo(T_FMT_AMPM));
  timeFormat = ReplaceAll(timeFormat, "%T", "%H:%M:%S");
  const std::string noSeconds = ReplaceAll(ReplaceAll(timeFormat, ":%S", ""), ".%S", "");
  formats.locale = locale;
  formats.candidates[0] = {dateFormat, timeFormat};
  formats.candidates[1] = {dateFormat, noSeconds};
  formats.candidates[2] = {ReplaceAll(dateFormat, "%Y", "%y"), noSeconds};
  made = true;
  return formats;
}

}  // namespace

std::string CKlRecordFileHdr::FormatDateTime() const {
  constexpr size_t kMaxChars = 20;
  time_t when = static_cast<time_t>(LocalStartTime());
  struct tm parts;
  if (gmtime_r(&when, &parts) == nullptr) return std::string();
  // The locale's own date and time, shortened when too long; a plain cut is the
  // last resort.
  std::string text;
  for (const auto& [date, time] : FormatsOfLocale().candidates) {
    text.clear();
    AppendTm(text, date, parts);
    text += ' ';
    AppendTm(text, time, parts);
    text = LocaleTextToUtf8(text);
    if (Utf8Length(text) <= kMaxChars) return text;
  }
  return FirstUtf8Chars(text, kMaxChars);
}

std::string CKlRecordFileHdr::FormatHms(uint32_t seconds) {
  // By hand: lists format two of these per recording, and snprintf costs more
  // than the rest of the entry's texts.
  char text[16];
  char* end = text + sizeof(text);
  char* p = end;
  auto two = [&p](uint32_t value) {
    *--p = static_cast<char>('0' + value % 10);
    *--p = static_cast<char>('0' + value / 10);
  };
  two(seconds % 60);
  *--p = ':';
  two((seconds % 3600) / 60);
  *--p = ':';
  uint32_t hours = seconds / 3600;
  do {
    *--p = static_cast<char>('0' + hours % 10);
    hours /= 10;
  } while (hours != 0);
  if (end - p == 7) *--p = '0';  // at least two hour digits
  return std::string(p, end);
}

bool CKlRecordFileHdr::GetBookmark(int& start, int& end) const {
  const std::string_view comment = Text(kOffComment, kCommentSize);
  size_t p1 = comment.find("<bookmark>");
  if (p1 == std::string::npos || p1 == 0) return false;
  if (comment.find("<bookmark>", p1 + 1) == std::string::npos) return false;
  size_t bstart = comment.find("<bstart>", p1);
  if (bstart == std::string::npos) return false;
  size_t bend = comment.find("<bend>", bstart);
  if (bend == std::string::npos) return false;
  int s = 0;
  int e = 0;
  if (!ParseHms(comment.substr(bstart + 8, 8), s) || !ParseHms(comment.substr(bend + 6, 8), e)) return false;
  start = s;
  end = e;
  return true;
}

int CKlRecordFileHdr::SetBookmark(int start, int end) {
  std::string comment = Comment();
  if (start >= 0 && start < end) {
    std::string line = std::string(kBookmarkLead) + " " + FormatHms(static_cast<uint32_t>(start)) + "\r\n";
    if (comment.compare(0, std::strlen(kBookmarkLead), kBookmarkLead) == 0) {
      comment = line + (comment.size() > 24 ? comment.substr(24) : std::string());
    } else {
      comment = line + comment;
    }
    std::string trailer = std::string(kTrailerLead) + "<bookmark>\r\n<bstart>" +
                          FormatHms(static_cast<uint32_t>(start)) + "</bstart>\r\n<bend>" +
                          FormatHms(static_cast<uint32_t>(end)) + "</bend>\r\n<bookmark>";
    comment.resize(kCommentLength, ' ');
    comment.replace(kCommentLength - trailer.size(), trailer.size(), trailer);
    SetText(kOffComment, kCommentSize, comment);
    return 1;
  }
  if (start != -1 || end != -1) return 0;
  bool changed = false;
  size_t p = comment.find(kBookmarkLead);
  if (p != std::string::npos) {
    if (p < 24) comment.erase(p, 24 - p);
    changed = true;
  }
  size_t t = comment.find(kTrailerLead);
  if (t != std::string::npos) {
    comment.erase(t);
    changed = true;
  }
  if (!changed) return 1;
  comment.resize(kCommentLength, ' ');
  SetText(kOffComment, kCommentSize, comment);
  return 1;
}

bool CKlRecordFileHdr::SetEncryption(const std::string& passphrase, int keySizeCode) {
  if (keySizeCode == -1 || passphrase.empty()) {
    Encrypted_ = 0;
    KeySizeCode_ = -1;
    std::memset(KeyCheck_, 0, sizeof(KeyCheck_));
    KeyString_.clear();
    return true;
  }
  if (CKlAESCipher::KeyBytesForCode(keySizeCode) == 0) return false;
  KeyString_ = Cipher_.ComputeKeyString(passphrase);
  if (KeyString_.size() != CKlAESCipher::kKeyStringLength) return false;
  PrefixVersion_ = 5;
  KeySizeCode_ = keySizeCode;
  std::memset(KeyCheck_, 0, sizeof(KeyCheck_));
  std::memcpy(KeyCheck_, KeyString_.data(), KeyString_.size());
  size_t keep = passphrase.size() < kPassphraseSize - 1 ? passphrase.size() : kPassphraseSize - 1;
  std::memset(Passphrase_, 0, sizeof(Passphrase_));
  std::memcpy(Passphrase_, passphrase.data(), keep);
  Encrypted_ = 1;
  return true;
}

uint32_t CKlRecordFileHdr::Version() const { return U32(kOffVersion); }
uint32_t CKlRecordFileHdr::HeaderSize() const { return U32(kOffHeaderSize); }
int32_t CKlRecordFileHdr::FormatTag() const { return static_cast<int32_t>(U32(kOffFormatTag)); }
void CKlRecordFileHdr::SetFormatTag(int32_t tag) { PutU32(kOffFormatTag, static_cast<uint32_t>(tag)); }
uint32_t CKlRecordFileHdr::Important() const { return U32(kOffImportant); }
void CKlRecordFileHdr::SetImportant(uint32_t value) { PutU32(kOffImportant, value); }
int32_t CKlRecordFileHdr::StartTime() const { return static_cast<int32_t>(U32(kOffStartTime)); }
void CKlRecordFileHdr::SetStartTime(int32_t value) { PutU32(kOffStartTime, static_cast<uint32_t>(value)); }
uint32_t CKlRecordFileHdr::Duration() const { return U32(kOffDuration); }
void CKlRecordFileHdr::SetDuration(uint32_t value) { PutU32(kOffDuration, value); }
uint32_t CKlRecordFileHdr::AuxCode() const { return U32(kOffAuxCode); }
void CKlRecordFileHdr::SetAuxCode(uint32_t value) { PutU32(kOffAuxCode, value); }
uint32_t CKlRecordFileHdr::AuxDuration() const { return U32(kOffAuxDuration); }
void CKlRecordFileHdr::SetAuxDuration(uint32_t value) { PutU32(kOffAuxDuration, value); }
uint32_t CKlRecordFileHdr::Reserved1() const { return U32(kOffReserved1); }
uint32_t CKlRecordFileHdr::Reserved2() const { return U32(kOffReserved2); }

std::string CKlRecordFileHdr::CallerId() const { return std::string(Text(kOffCallerId, kCallerIdSize)); }
void CKlRecordFileHdr::SetCallerId(const std::string& raw) { SetText(kOffCallerId, kCallerIdSize, raw); }
std::string CKlRecordFileHdr::Comment() const { return std::string(Text(kOffComment, kCommentSize)); }
void CKlRecordFileHdr::SetComment(const std::string& raw) { SetText(kOffComment, kCommentSize, raw); }
std::string CKlRecordFileHdr::UserId() const { return std::string(Text(kOffUserId, kUserIdSize)); }
void CKlRecordFileHdr::SetUserId(const std::string& raw) { SetText(kOffUserId, kUserIdSize, raw); }
std::string CKlRecordFileHdr::SiteCode() const { return std::string(Text(kOffSiteCode, kSiteCodeSize)); }
void CKlRecordFileHdr::SetSiteCode(const std::string& raw) { SetText(kOffSiteCode, kSiteCodeSize, raw); }

std::string CKlRecordFileHdr::CallerIdUtf8() const { return zel::Cp1252ToUtf8(Text(kOffCallerId, kCallerIdSize)); }
std::string CKlRecordFileHdr::CommentUtf8() const { return zel::Cp1252ToUtf8(Text(kOffComment, kCommentSize)); }
std::string CKlRecordFileHdr::UserIdUtf8() const { return zel::Cp1252ToUtf8(Text(kOffUserId, kUserIdSize)); }
std::string CKlRecordFileHdr::SiteCodeUtf8() const { return zel::Cp1252ToUtf8(Text(kOffSiteCode, kSiteCodeSize)); }
