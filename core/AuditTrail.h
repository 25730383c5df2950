#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zel {

// One action on a call. Access is recorded, never content: no comment texts, no
// decrypted details.
struct AuditRecord {
  int64_t seq = 0;      // position in the whole trail, from 1; set by Append
  std::string time;     // UTC, ISO 8601; Append fills it when empty
  std::string user;     // Append fills user and host when empty
  std::string host;
  std::string action;   // "play", "export", "delete", "retention removal", "hold set", ...
  std::string detail;   // e.g. the export format or why a call was kept
  std::string path;
  std::string caller;   // the call's caller id, when known
  std::string before;   // SHA-256 of the file before a change, hex; empty when unchanged
  std::string after;    // ... and after it; empty when the file left
  std::string prev;     // SHA-256 of the line before (the chain); set by Append
};

// The audit trail: "audit.log" in the shared configuration folder, one JSON object
// per line. Each line carries the SHA-256 of the line before it, so that a changed,
// removed or inserted line breaks the chain; at 20 MiB the file is renamed to
// "audit.log.N" (N counting up) and the new file's first line chains to the last
// line of the old one. Writers take the file's lock (FileLock), so processes
// appending at once keep one chain.
class AuditTrail {
 public:
  static constexpr uint64_t kRotateBytes = 20ull * 1024 * 1024;

  AuditTrail();
  explicit AuditTrail(std::string path, uint64_t rotateBytes = kRotateBytes);

  // Appends one line; false with `error` when it could not be written.
  bool Append(AuditRecord record, std::string* error = nullptr);
  // Appends several lines at once (one lock, one flush to disk); each record gets
  // its seq and prev.
  bool AppendAll(std::vector<AuditRecord>& records, std::string* error = nullptr);

  struct Verification {
    bool ok = true;
    uint64_t lines = 0;     // lines checked
    std::string file;       // where the chain breaks
    uint64_t line = 0;      // 1-based line number in `file`
    std::string problem;    // "line 7 was changed", ...
  };
  // Checks the chain across the rotated files and the current one.
  Verification Verify() const;

  struct Filter {
    std::string path;    // exact path, empty: any
    std::string caller;  // exact caller id, empty: any
    std::string since;   // ISO 8601 prefix compared as text ("2026-12-01"), empty: any
    bool pathPart = false;  // `path` may match any part of the call's path (typed in a window)
  };
  // The records of every file, oldest first, that pass `filter`; lines that do not
  // parse are skipped (Verify names them).
  std::vector<AuditRecord> Read(const Filter& filter) const;

  // The files of the trail, oldest first (rotated ones, then the current one).
  std::vector<std::string> Files() const;
  const std::string& Path() const { return path_; }

  // One line of the trail for `record`, without the newline; and back.
  static std::string Serialize(const AuditRecord& record);
  static bool Parse(const std::string& line, AuditRecord& record);
  // Hex SHA-256 of `data`, or of a file's content ("" when it cannot be read).
  static std::string Sha256(const std::string& data);
  static std::string Sha256OfFile(const std::string& path);
  static std::string NowIso8601();

  // Appends to the trail of the shared configuration folder; a failure is written
  // to the program's log and returned.
  static bool Record(const std::string& action, const std::string& path, const std::string& detail = "",
                     const std::string& caller = "", const std::string& before = "", const std::string& after = "");

 private:
  std::string path_;
  uint64_t rotateBytes_;
};

}  // namespace zel
