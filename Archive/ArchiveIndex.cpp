#include "Archive/ArchiveIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <unzip.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "Archive/IArchiver.h"
#include "core/AtomicFile.h"
#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/PercentEncoding.h"
#include "core/RegularFile.h"
#include "core/Singleton.h"
#include "core/Utf8.h"
#include "recording/CommentText.h"
#include "recording/CKlRecordFileHdr.h"

namespace zel {

namespace {

const char kCsvHeader[] =
    "path,user,caller,date_time,duration_s,important,bookmark_start_s,bookmark_end_s,comment,sha256,encrypted";
// The header of indexes written before rows were marked as encrypted.
const char kCsvHeaderWithoutEncrypted[] =
    "path,user,caller,date_time,duration_s,important,bookmark_start_s,bookmark_end_s,comment,sha256";

struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string Hex(const unsigned char* bytes, unsigned length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string IsoDateTime(int32_t localStart) {
  if (localStart <= 0) return {};
  const time_t t = localStart;
  std::tm parts{};
  if (gmtime_r(&t, &parts) == nullptr) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  return text;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool IsByteEscape(const std::string& text, size_t at) {
  return at + 3 < text.size() && text[at] == '\\' && text[at + 1] == 'x' && IsHexDigit(text[at + 2]) &&
         IsHexDigit(text[at + 3]);
}

// Bytes that are not UTF-8 become "\xNN" (as does a "\" that would read as such),
// so that both index files stay UTF-8 and a name reads back exactly.
std::string EscapeBytes(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const size_t length = zel::Utf8SequenceLength(bytes + i, text.size() - i);
    if (length == 0 || IsByteEscape(text, i)) {
      out += "\\x";
      out += kDigits[bytes[i] >> 4];
      out += kDigits[bytes[i] & 15];
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

std::string UnescapeBytes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (IsByteEscape(text, i)) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 4;
    } else {
      out += text[i++];
    }
  }
  return out;
}

// A text cell a spreadsheet must show, never run: a leading "'" before what it
// would take for a formula (and before a "'" of the text, so that it reads back).
std::string TextCell(const std::string& text) {
  std::string cell = EscapeBytes(text);
  if (!cell.empty() && cell[0] != '\0' && std::strchr("=+-@\t\r'", cell[0]) != nullptr) cell.insert(0, 1, '\'');
  return cell;
}

std::string FromTextCell(const std::string& cell) {
  return UnescapeBytes(!cell.empty() && cell[0] == '\'' ? cell.substr(1) : cell);
}

// What a call's file name tells: "<user>-<YYYYMMDD HHMMSS>.zel".
void FromFileName(const std::string& name, ArchiveIndexRow& row) {
  const size_t dash = name.find('-');
  if (dash == std::string::npos) return;
  row.user = name.substr(0, dash);
  const std::string stamp = name.substr(dash + 1, 15);
  if (stamp.size() != 15 || stamp[8] != ' ') return;
  for (size_t i = 0; i < stamp.size(); ++i) {
    if (i != 8 && !std::isdigit(static_cast<unsigned char>(stamp[i]))) return;
  }
  row.dateTime = stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + "T" + stamp.substr(9, 2) +
                 ":" + stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string HtmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Seconds(int value) { return value < 0 ? std::string() : std::to_string(value); }

std::string Hms(int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

// Splits RFC 4180 records; fields may hold quoted commas, quotes and line breaks.
bool SplitCsv(const std::string& text, std::vector<std::vector<std::string>>& records) {
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, fieldStarted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
    } else if (c == '"' && field.empty()) {
      quoted = fieldStarted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      fieldStarted = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (fieldStarted || !field.empty() || !record.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
      }
      record.clear();
      field.clear();
      fieldStarted = false;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted) return false;
  if (fieldStarted || !field.empty() || !record.empty()) {
    record.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return true;
}

bool ToInt(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace

std::string ArchiveIndex::SettingsPassphrase() { return Singleton<CSettings>::Instance()->GetPassphrase(); }

bool ArchiveIndex::UpdateFolderIndex(const std::string& folder, const std::vector<ArchiveIndexRow>& rows,
                                     std::string& error) {
  const std::string base = folder == "/" ? folder : folder + "/";
  ArchiveIndex index;
  std::string old;
  const Read read = ReadFolderIndex(folder, old, error);
  if (read == Read::kRefused) return false;
  if (read == Read::kOk && !index.ParseCsv(old)) {
    // Not ours or damaged: it is rebuilt from this run, the old one kept aside.
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: %s%s is no index; kept as %s%s.old", base.c_str(), kCsvName,
                                              base.c_str(), kCsvName);
    WriteFileAtomically(base + kCsvName + ".old", old);
    index = ArchiveIndex();
  }
  for (const ArchiveIndexRow& row : rows) index.Add(row);
  if (!WriteFileAtomically(base + kCsvName, index.Csv()) || !WriteFileAtomically(base + kHtmlName, index.Html())) {
    error = base + kCsvName + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

ArchiveIndex::Read ArchiveIndex::ReadZipMember(const std::string& zipPath, const std::string& name,
                                               std::string& content, std::string& error, uint64_t limit) {
  struct stat info {};
  if (::stat(zipPath.c_str(), &info) != 0) return Read::kMissing;
  if (!S_ISREG(info.st_mode)) {
    error = zipPath + ": not a regular file";
    return Read::kRefused;
  }
  unzFile zip = unzOpen64(zipPath.c_str());
  if (zip == nullptr) return Read::kMissing;
  Read result = Read::kMissing;
  for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    unz_file_info64 member{};
    char memberName[4096];
    if (unzGetCurrentFileInfo64(zip, &member, memberName, sizeof memberName, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    if (name != memberName) continue;
    // The reader stops at the size the directory gives, so that size bounds the work.
    if (member.uncompressed_size > limit) {
      error = zipPath + ": " + name + " would inflate to " + std::to_string(member.uncompressed_size >> 20) +
              " MiB, more than " + std::to_string(limit >> 20) + " MiB";
      result = Read::kRefused;
      break;
    }
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
      error = zipPath + ": " + name + " cannot be read";
      result = Read::kRefused;
      break;
    }
    std::string bytes;
    char buffer[1 << 15];
    int n;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
    const bool crcOk = unzCloseCurrentFile(zip) == UNZ_OK;
    if (n < 0 || !crcOk) {
      error = zipPath + ": " + name + " is damaged";
      result = Read::kRefused;
      break;
    }
    content = std::move(bytes);
    result = Read::kOk;  // a later member of the same name replaces it
  }
  unzClose(zip);
  return result;
}

ArchiveIndex::Read ArchiveIndex::ReadFolderIndex(const std::string& folder, std::string& content,
                                                 std::string& error) {
  struct stat info {};
  // No folder yet (or a file in its place, which making the folder reports): no index.
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return Read::kMissing;
  const std::string path = (folder == "/" ? folder : folder + "/") + kCsvName;
  const DataFileRead read = ReadDataFile(path, content, kMaxIndexBytes);
  if (read == DataFileRead::Ok) return Read::kOk;
  if (read == DataFileRead::Missing) return Read::kMissing;
  error = path + ": " + DataFileReadText(read);
  return Read::kRefused;
}

std::string ArchiveIndex::ExistingIndexProblem(const std::string& target, bool zip) {
  std::string content, error;
  const Read read = zip ? ReadZipMember(target, kCsvName, content, error) : ReadFolderIndex(target, content, error);
  return read == Read::kRefused ? error : std::string();
}

std::string ArchiveIndex::WriteToTemporaryFolder(const std::string& near) const {
  std::string pattern = near + ".zelindex-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  if (!WriteFileAtomically(pattern + "/" + kCsvName, Csv()) || !WriteFileAtomically(pattern + "/" + kHtmlName, Html())) {
    const int saved = errno;  // the reason, for the caller's message
    RemoveTemporaryFolder(pattern);
    errno = saved;
    return {};
  }
  return pattern;
}

void ArchiveIndex::RemoveTemporaryFolder(const std::string& folder) {
  if (folder.empty()) return;
  ::unlink((folder + "/" + kCsvName).c_str());
  ::unlink((folder + "/" + kHtmlName).c_str());
  ::rmdir(folder.c_str());
}

std::string ArchiveIndex::Sha256OfBytes(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  return Hex(digest, length);
}

std::string ArchiveIndex::Sha256OfFile(const std::string& path) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return {};
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
  bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
  std::vector<char> buffer(1 << 16);
  while (ok) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    ok = EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(n)) == 1;
  }
  ::close(fd);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (!ok || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
  return Hex(digest, length);
}

bool ArchiveIndex::Describe(const std::string& file, const std::string& pathInArchive, const std::string& passphrase,
                            ArchiveIndexRow& row) {
  row = ArchiveIndexRow{};
  row.path = pathInArchive;
  row.sha256 = Sha256OfFile(file);
  if (row.sha256.empty()) return false;
  CKlRecordFileHdr header;
  const bool loaded = header.LoadHeader(file, passphrase) > 0;
  if (header.IsEncrypted()) {
    // The index beside an encrypted call must not give away its caller, comment
    // or bookmark.
    row.encrypted = true;
    FromFileName(FileNameOf(file), row);
    if (loaded) row.duration = header.Duration();
    return true;
  }
  if (loaded) {
    row.user = header.UserIdUtf8();
    row.caller = header.CallerIdUtf8();
    row.dateTime = IsoDateTime(header.LocalStartTime());
    row.duration = header.Duration();
    row.important = header.Important() != 0 ? 1 : 0;
    int start = 0, end = 0;
    if (header.GetBookmark(start, end)) {
      row.bookmarkStart = start;
      row.bookmarkEnd = end;
    }
    row.comment = UserCommentText(header.CommentUtf8());
  }
  return true;
}

void ArchiveIndex::Add(ArchiveIndexRow row) {
  auto [at, added] = positions_.try_emplace(row.path, rows_.size());
  if (!added) {
    rows_[at->second] = std::move(row);
    return;
  }
  rows_.push_back(std::move(row));
}

std::string ArchiveIndex::Csv() const {
  std::string text = std::string(kCsvHeader) + "\r\n";
  for (const ArchiveIndexRow& r : rows_) {
    // The path is written as it is (only its bytes escaped): the verifier reads it back.
    text += CsvField(EscapeBytes(r.path)) + ',' + CsvField(TextCell(r.user)) + ',' + CsvField(TextCell(r.caller)) +
            ',' + r.dateTime + ',' + std::to_string(r.duration) + ',' + std::to_string(r.important) + ',' +
            Seconds(r.bookmarkStart) + ',' + Seconds(r.bookmarkEnd) + ',' + CsvField(TextCell(r.comment)) + ',' +
            r.sha256 + ',' + (r.encrypted ? "1" : "0") + "\r\n";
  }
  return text;
}

bool ArchiveIndex::ParseCsv(const std::string& text) {
  rows_.clear();
  positions_.clear();
  std::vector<std::vector<std::string>> records;
  if (!SplitCsv(text, records) || records.empty()) return false;
  std::string header;
  for (size_t i = 0; i < records[0].size(); ++i) header += (i ? "," : "") + records[0][i];
  const bool marked = header == kCsvHeader;
  if (!marked && header != kCsvHeaderWithoutEncrypted) return false;
  for (size_t i = 1; i < records.size(); ++i) {
    const auto& f = records[i];
    if (f.size() != (marked ? 11u : 10u)) return false;
    ArchiveIndexRow row;
    long long duration = 0, important = 0, start = -1, end = -1;
    if (f[0].empty() || !ToInt(f[4], duration) || !ToInt(f[5], important)) return false;
    if ((!f[6].empty() && !ToInt(f[6], start)) || (!f[7].empty() && !ToInt(f[7], end))) return false;
    row.path = UnescapeBytes(f[0]);
    row.user = FromTextCell(f[1]);
    row.caller = FromTextCell(f[2]);
    row.dateTime = f[3];
    row.duration = duration;
    row.important = static_cast<int>(important);
    row.bookmarkStart = static_cast<int>(start);
    row.bookmarkEnd = static_cast<int>(end);
    row.comment = FromTextCell(f[8]);
    row.sha256 = f[9];
    row.encrypted = marked && f[10] == "1";
    Add(std::move(row));
  }
  return true;
}

std::string ArchiveIndex::Html() const {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Archived calls</title>\n"
      "<style>\nbody{font-family:sans-serif;margin:1.5em}table{border-collapse:collapse}"
      "th,td{border:1px solid #bbb;padding:.25em .6em;text-align:left;vertical-align:top}"
      "th{background:#eee;cursor:pointer;user-select:none}td.n{text-align:right}"
      "td.c{white-space:pre-wrap;max-width:30em}code{font-size:.8em}\n</style>\n</head>\n<body>\n"
      "<h1>Archived calls</h1>\n<p>" +
      std::to_string(rows_.size()) +
      (rows_.size() == 1 ? " call" : " calls") +
      ". Click a column heading to sort by it; click again to reverse. The SHA-256 of each file lets it be "
      "checked (sha256sum).</p>\n<table id=\"calls\">\n<thead><tr><th>File</th><th>User</th><th>Caller</th>"
      "<th>Date and time</th><th>Duration</th><th>Important</th><th>Bookmark</th><th>Comment</th>"
      "<th>SHA-256</th><th>Encrypted</th></tr></thead>\n<tbody>\n";
  for (const ArchiveIndexRow& r : rows_) {
    const std::string bookmark =
        r.bookmarkStart >= 0 ? Hms(r.bookmarkStart) + " \xE2\x80\x93 " + Hms(r.bookmarkEnd) : std::string();
    html += "<tr><td><a href=\"" + PercentEncodedPath(r.path) + "\">" + HtmlText(EscapeBytes(r.path)) + "</a></td><td>" +
            HtmlText(EscapeBytes(r.user)) + "</td><td>" + HtmlText(EscapeBytes(r.caller)) + "</td><td>" + HtmlText(r.dateTime) + "</td><td class=\"n\" data-v=\"" +
            std::to_string(r.duration) + "\">" + Hms(r.duration) + "</td><td>" + (r.important ? "!" : "") +
            "</td><td data-v=\"" + std::to_string(r.bookmarkStart) + "\">" + bookmark + "</td><td class=\"c\">" +
            HtmlText(EscapeBytes(r.comment)) + "</td><td><code>" + r.sha256 + "</code></td><td>" +
            (r.encrypted ? "yes" : "") + "</td></tr>\n";
  }
  html +=
      "</tbody>\n</table>\n<script>\n"
      "document.querySelectorAll('#calls th').forEach(function(th,col){\n"
      "  th.addEventListener('click',function(){\n"
      "    var body=document.querySelector('#calls tbody');\n"
      "    var rows=Array.prototype.slice.call(body.rows);\n"
      "    var down=th.getAttribute('data-order')!=='up';\n"
      "    document.querySelectorAll('#calls th').forEach(function(o){o.removeAttribute('data-order');});\n"
      "    th.setAttribute('data-order',down?'up':'down');\n"
      "    function key(row){var c=row.cells[col];var v=c.getAttribute('data-v');\n"
      "      return v!==null?Number(v):c.textContent;}\n"
      "    rows.sort(function(a,b){var x=key(a),y=key(b);var r=x<y?-1:x>y?1:0;return down?r:-r;});\n"
      "    rows.forEach(function(r){body.appendChild(r);});\n"
      "  });\n});\n</script>\n</body>\n</html>\n";
  return html;
}

}  // namespace zel
