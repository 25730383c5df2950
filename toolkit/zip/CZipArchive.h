#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// The ZIP archive layer under the ZIP archiver: minizip (zlib's contrib) on a
// working copy, so that the archive under its own name is a complete ZIP archive
// at every moment, also when the process is killed.
//
// One session is one run: Open() copies an existing archive to "<archive>.zelpart"
// beside it (or starts an empty one) and reads its central directory once; every
// AddFile() appends a member to that copy, and Commit() writes the directory once,
// after the members, and renames the copy over the archive. A process killed
// before Commit() leaves the archive as it was (and a stale working copy that the
// next session overwrites). TakeBack() removes the last add exactly (the size
// limit), and a failed or cancelled add is taken back by itself. Each add costs
// the same however many members the archive holds.
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
  // kPresent: a member of that name and content is in the archive already, so
  // nothing was added.
  enum class AddResult { kAdded, kPresent, kFailed, kCancelled };
  static constexpr int kDefaultLevel = -1;
  static constexpr size_t kDefaultBufferSize = 64 * 1024;

  struct ListedEntry {
    std::string Name;  // "/"-separated, without a leading "/"
    uint64_t Size;     // uncompressed
    uint32_t Crc = 0;
  };
  // The entries of the archive at `path` in their order; false, with what could
  // be read, when the archive cannot be opened or its directory is damaged.
  static bool List(const std::string& path, std::vector<ListedEntry>& entries);

  // True for a name that ZIP readers may take as UTF-8 (general purpose bit 11):
  // it holds bytes above 0x7F and all of it is well-formed UTF-8.
  static bool NeedsUtf8Flag(const std::string& name);

  CZipArchive() = default;
  // Abandons a session that was not committed: the archive stays as it was.
  ~CZipArchive();
  CZipArchive(const CZipArchive&) = delete;
  CZipArchive& operator=(const CZipArchive&) = delete;

  void SetCallback(IActionCallback* callback) { callback_ = callback; }

  // Starts a session on `path`: an existing file must be a ZIP archive (a folder
  // or another file fails), a missing one is created by Commit(). False on
  // failure, with LastError() in the words of the failure; nothing was changed.
  bool Open(const std::string& path);
  // Adds the file `source` as `name` ("/" between folders) to the working copy,
  // in place of a member of that name with other content.
  // With a level other than 0 the file is deflated at that level (-1: zlib's
  // default) unless a sample of it does not shrink, in which case it is stored as
  // zip itself would. kFailed and kCancelled leave the working copy as it was.
  AddResult AddFile(const std::string& source, const std::string& name, int level = kDefaultLevel,
                    size_t bufferSize = kDefaultBufferSize);
  // Removes the file added last (after kAdded). False on failure.
  bool TakeBack();
  // Drops every member named `name` from the working copy, so that a file kept up
  // to date by each session is held once; Commit() leaves out its bytes. True also
  // when there is none; false on failure or for a ZIP64 directory. TakeBack() is
  // not possible afterwards.
  bool Remove(const std::string& name);
  // Puts the working copy in place of the archive (flushed to disk first); when
  // the session changed nothing the archive is left alone. False on failure, the
  // archive then as it was at Open().
  bool Commit();
  // Ends the session without changing the archive.
  void Abandon();

  // The length in bytes the archive has with what this session added.
  uint64_t OccupiedSize() const { return length_; }
  const std::string& LastError() const { return lastError_; }
  bool IsOpen() const { return open_; }
  const std::string& Path() const { return path_; }
  std::string WorkingPath() const { return path_ + ".zelpart"; }

 private:
  // A member as the central directory gives it.
  struct Record {
    std::string central;  // its central directory record
    std::string name;
    uint64_t size = 0;        // uncompressed
    uint64_t compressed = 0;
    uint32_t crc = 0;
    uint64_t offset = 0;  // of its local header
    uint64_t end = 0;     // where its bytes end; 0 when not known yet
    bool live = true;     // false once removed or replaced
  };
  struct LastAdd {
    bool valid = false;
    uint64_t start = 0;
    size_t record = 0;
    std::vector<size_t> replaced;
  };
  bool ReadDirectory(int fd, uint64_t length);
  void AddRecord(Record record);
  void Kill(size_t index);
  void Revive(size_t index);
  uint64_t EndRecordsSize() const;
  void UpdateLength();
  bool MemberEnd(const Record& record, uint64_t& end);
  bool RecoverInterrupted();
  bool MakeWorkingCopy(bool existed);
  bool IsPresent(const std::string& source, const std::string& name, uint64_t size);
  // Rewrites the working copy without the bytes no member refers to any more.
  bool Compact();
  bool SwapIn(int out, const std::string& compacted);
  bool Fail(const std::string& text);

  IActionCallback* callback_ = nullptr;
  std::string path_;
  bool open_ = false;
  int fd_ = -1;            // the working copy
  uint64_t length_ = 0;    // what the archive would be if committed now
  uint64_t dataEnd_ = 0;   // where the members end and the directory will go
  uint64_t directoryBytes_ = 0;
  int netAdds_ = 0;        // changes of this session
  size_t dead_ = 0;        // removed or replaced members whose bytes are still there
  std::vector<Record> records_;
  std::unordered_multimap<std::string, size_t> byName_;  // live members
  std::string comment_;    // the archive comment, kept
  LastAdd last_;
  std::string lastError_;
};

}  // namespace zel::zip
