#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// The list of calls every archive carries beside them, so that an archive can be
// browsed and checked years later without this program: "index.csv" (UTF-8, one
// line per call) and "index.html" (the same as a sortable table linking to the
// files). Paths inside the archive use "/" and are relative to its root.
namespace zel {

struct ArchiveIndexRow {
  std::string path;  // inside the archive
  std::string user;
  std::string caller;
  std::string dateTime;  // ISO 8601, the recorder's wall-clock time; "" when unknown
  int64_t duration = 0;  // seconds
  int important = 0;
  int bookmarkStart = -1;  // seconds; -1 without a bookmark
  int bookmarkEnd = -1;
  std::string comment;  // the user's text, without the recorder's bookmark line and block
  std::string sha256;   // of the archived file, lower-case hex
  // The call's file is encrypted: the row holds only what its name tells (user,
  // date and time), the duration and the checksum.
  bool encrypted = false;
};

class ArchiveIndex {
 public:
  static constexpr const char* kCsvName = "index.csv";
  static constexpr const char* kHtmlName = "index.html";
  // Larger indexes and archived calls are refused, not read: an index is text, a
  // call at most some hours of audio, and a hostile archive must not hold a
  // reader for long.
  static constexpr uint64_t kMaxIndexBytes = 64ull << 20;
  static constexpr uint64_t kMaxCallBytes = 256ull << 20;
  enum class Read { kOk, kMissing, kRefused };

  // The row of `file`, archived as `pathInArchive`: the header's texts (read with
  // `passphrase`; left empty when the header cannot be read) and the file's SHA-256.
  // False when the file itself cannot be read.
  static bool Describe(const std::string& file, const std::string& pathInArchive, const std::string& passphrase,
                       ArchiveIndexRow& row);
  // The passphrase recordings are opened with (the user's settings).
  static std::string SettingsPassphrase();
  // Lower-case hex SHA-256 of a file's bytes; "" when it cannot be read.
  static std::string Sha256OfFile(const std::string& path);
  static std::string Sha256OfBytes(const std::string& bytes);

  // Adds `row`, replacing a row of the same path (a later run wrote that file again).
  void Add(ArchiveIndexRow row);
  const std::vector<ArchiveIndexRow>& Rows() const { return rows_; }
  bool Empty() const { return rows_.empty(); }

  std::string Csv() const;
  std::string Html() const;
  // Reads an index written by Csv(); false (with the rows read so far) on text that
  // is not such an index.
  bool ParseCsv(const std::string& text);

  // Merges `rows` into the index of the folder tree at `folder` (kept from earlier
  // runs) and writes both files there, each through a temporary file. False, with
  // `error` set, when they cannot be written.
  // The content of member `name` of the ZIP archive at `zipPath` (the last one of
  // that name). kMissing when there is none, kRefused (with `error`) when it
  // cannot be read or would inflate to more than `limit` bytes.
  static Read ReadZipMember(const std::string& zipPath, const std::string& name, std::string& content,
                            std::string& error, uint64_t limit = kMaxIndexBytes);
  // The index at the root of the folder tree `folder`; kRefused (with `error`)
  // for a FIFO, device, folder or over-large file in its place.
  static Read ReadFolderIndex(const std::string& folder, std::string& content, std::string& error);
  // Why an archive run must not write into the existing archive `target` (a ZIP
  // archive when `zip`, else a folder tree): its index cannot be read safely.
  // Empty when it can, or when there is none yet.
  static std::string ExistingIndexProblem(const std::string& target, bool zip);
  // Writes this index as kCsvName and kHtmlName into a new temporary folder beside
  // `near` (for archivers that take files from disk); "" on failure.
  std::string WriteToTemporaryFolder(const std::string& near) const;
  // Removes such a folder and the two files in it.
  static void RemoveTemporaryFolder(const std::string& folder);

  static bool UpdateFolderIndex(const std::string& folder, const std::vector<ArchiveIndexRow>& rows,
                                std::string& error);

 private:
  std::vector<ArchiveIndexRow> rows_;
  std::unordered_map<std::string, size_t> positions_;  // of each path in rows_
};

}  // namespace zel
