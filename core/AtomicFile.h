#pragma once
#include <string>
#include <sys/types.h>

// Replaces a file as a whole: the content goes to a temporary file in the same
// folder, is flushed to disk and then renamed over the target, so a crash or a full
// disk leaves either the old file or the new one, never a truncated mix.
namespace zel {

// Writes `content` to `path`. `mode` applies to a newly created file; an existing
// file's mode is kept unless `forceMode`. Returns false, with the old file
// untouched, on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& content, mode_t mode = 0644,
                         bool forceMode = false);

// A temporary file beside `path` for writers that stream large content: open it
// with Open(), write through fd(), then Commit() renames it into place. Destroying
// an uncommitted AtomicFile removes the temporary file.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path, mode_t mode = 0644, bool forceMode = false);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool Open();
  int fd() const { return fd_; }
  bool Write(const void* data, size_t size);
  bool Commit();
  void Abandon();
  const std::string& TempPath() const { return tempPath_; }

 private:
  std::string path_;
  std::string tempPath_;
  mode_t mode_;
  bool forceMode_;
  int fd_ = -1;
  int slot_ = -1;  // where a signal handler finds the temporary file
  bool failed_ = false;
};

// From now on SIGINT, SIGTERM and SIGHUP first remove the temporary files of open
// AtomicFiles, then end the process as the signal would: an interrupted export
// leaves no half-written file beside its target.
void RemoveTemporaryFilesOnSignals();

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);

}  // namespace zel
