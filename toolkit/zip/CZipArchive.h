#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ZIP archive layer under the ZIP archiver: minizip (zlib's contrib) with a
// snapshot that lets the caller take the last add back exactly.
//
// One session is one open-add-close cycle. Open() appends to an existing archive
// (only its central directory is read and rewritten, so an add costs in
// proportion to the file added and not to the archive) or creates a new one.
// Before anything is written it remembers the archive's length and the bytes of
// its central directory and end record; Restore() after Close() puts those back
// and truncates the file, which leaves the archive byte for byte as it was at
// Open() (a file that did not exist is removed again).
//
// The same snapshot is kept beside the archive as "<archive>.zelundo" while a
// session may leave the archive incomplete. A process killed in the middle of an
// add thus leaves a record from which the next Open() of that archive restores
// it to the state before the interrupted add.
namespace zel::zip {

// Told about the progress of an add; returns false to stop it.
class IActionCallback {
 public:
  virtual ~IActionCallback() = default;
  // `processed` of `total` bytes of the current file have been read.
  virtual bool Callback(uint64_t processed, uint64_t total) = 0;
};

class CZipArchive {
 public:
  enum class AddResult { kAdded, kFailed, kCancelled };
  static constexpr int kDefaultLevel = -1;
  static constexpr size_t kDefaultBufferSize = 64 * 1024;

  struct ListedEntry {
    std::string Name;  // "/"-separated, without a leading "/"
    uint64_t Size;     // uncompressed
  };
  // The entries of the archive at `path` in their order; false, with what could
  // be read, when the archive cannot be opened or its directory is damaged.
  static bool List(const std::string& path, std::vector<ListedEntry>& entries);

  CZipArchive() = default;
  // Closes an open session; an add that failed or was cancelled is taken back.
  ~CZipArchive();
  CZipArchive(const CZipArchive&) = delete;
  CZipArchive& operator=(const CZipArchive&) = delete;

  void SetCallback(IActionCallback* callback) { callback_ = callback; }

  // Opens `path` for appending when something of that name exists (a folder or
  // a file that is no ZIP archive fails), else creates it. False on failure, with
  // LastError() telling why; nothing was changed then.
  bool Open(const std::string& path);
  // Adds the file `source` as `name` ("/" between folders). With a level other
  // than 0 the file is deflated at that level (-1: zlib's default) unless a sample
  // of it does not shrink, in which case it is stored as zip itself would.
  // kFailed and kCancelled leave a damaged entry that Close() then Restore() must
  // take back (the destructor does this by itself).
  AddResult AddFile(const std::string& source, const std::string& name, int level = kDefaultLevel,
                    size_t bufferSize = kDefaultBufferSize);
  // Writes the central directory and closes the file. False on failure.
  bool Close();
  // After Close(): puts the archive back as it was at Open(). False on failure.
  bool Restore();

  // The archive's length in bytes after Close().
  uint64_t OccupiedSize() const { return occupiedSize_; }
  const std::string& LastError() const { return lastError_; }
  bool IsOpen() const { return handle_ != nullptr; }

 private:
  bool TakeSnapshot();
  std::string UndoPath() const;
  bool WriteUndo();
  bool RecoverInterrupted();
  bool Fail(const std::string& text);

  void* handle_ = nullptr;  // minizip's zipFile
  IActionCallback* callback_ = nullptr;
  std::string path_;
  bool existed_ = false;
  uint64_t oldLength_ = 0;
  uint64_t tailOffset_ = 0;  // where the old central directory began
  std::string oldTail_;      // central directory, ZIP64 records and end record
  bool addFailed_ = false;
  bool closed_ = false;
  uint64_t occupiedSize_ = 0;
  std::string lastError_;
};

}  // namespace zel::zip
