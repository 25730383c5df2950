#pragma once
#include <cstdint>
#include <string>
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
};

class ArchiveIndex {
 public:
  static constexpr const char* kCsvName = "index.csv";
  static constexpr const char* kHtmlName = "index.html";

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
  // that name); false when there is none or it cannot be read.
  static bool ReadZipMember(const std::string& zipPath, const std::string& name, std::string& content);
  // Writes this index as kCsvName and kHtmlName into a new temporary folder beside
  // `near` (for archivers that take files from disk); "" on failure.
  std::string WriteToTemporaryFolder(const std::string& near) const;
  // Removes such a folder and the two files in it.
  static void RemoveTemporaryFolder(const std::string& folder);

  static bool UpdateFolderIndex(const std::string& folder, const std::vector<ArchiveIndexRow>& rows,
                                std::string& error);

 private:
  std::vector<ArchiveIndexRow> rows_;
};

}  // namespace zel
