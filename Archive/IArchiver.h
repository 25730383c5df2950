#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Archive/ArchiveTypes.h"

// One archive being written: a folder tree, a ZIP archive or an ISO 9660 image.
// The archive manager owns one archiver per job run and uses it in this order:
// Reset(), SetThreshold(), AddFile() once per recording, Archive() once, delete.
// All calls come from the manager's thread except Cancel(), which may come from
// any thread at any time and only raises a flag that the running write checks.
//
// Paths use "/". The sub-folder is relative to the archive root: empty, a single
// name, or a "/"-separated path beginning with "/". Components "." and ".." and
// empty ones are dropped, so a sub-folder built from header texts can never
// leave the archive root (see zel::SubFolderComponents).
class IArchiver {
 public:
  // Receives the progress of the current write in percent (0..100).
  using ProgressFunction = std::function<void(double percent)>;

  IArchiver() = default;
  virtual ~IArchiver();
  IArchiver(const IArchiver&) = delete;
  IArchiver& operator=(const IArchiver&) = delete;

  // Writes the archive. Returns 0 on success and a negative value on failure;
  // the ZIP archiver instead returns the number of recordings it processed (0
  // when the write was cancelled).
  virtual int Archive() = 0;
  // Asks the running (or the next) write to stop as soon as it can. Thread-safe.
  // Returns 0. The request stays until Reset().
  virtual int Cancel() = 0;
  // Hands over one recording. `archivePath` is the archive's folder (DISK) or
  // file (ZIP, ISO); `callTime` is the call's start in seconds since 1970, 0 when
  // unknown. Returns 0 when the recording was accepted, non-zero when refused.
  virtual int AddFile(const std::string& archivePath, const std::string& sourcePath,
                      const std::string& subFolder, int64_t callTime) = 0;
  virtual zel::ArchiveType GetType() = 0;
  // The archive's size so far in MiB (what the threshold is compared with).
  virtual int GetSizeMB() = 0;
  // Starts a new job: zeroes the archive size and the archived count and
  // withdraws an earlier Cancel(). Returns this archiver.
  virtual IArchiver* Reset();

  // The archive size limit in MiB; 0 means no limit.
  void SetThreshold(int32_t mib) { threshold_ = mib; }
  int32_t GetThreshold() const { return threshold_; }
  // Recordings written into or accepted by the archive in this job; after a
  // failed or cancelled ISO write, 0.
  int32_t GetArchivedCount() const { return archivedCount_; }
  // The archive's size in bytes as last measured (kept by the ZIP archiver).
  uint32_t GetArchiveSize() const { return archiveSize_; }
  // Why the last write or add failed, in the words of the failure ("" when
  // nothing failed since Reset()). Only for the manager's thread.
  const std::string& LastError() const { return lastError_; }
  // The archiver has shown LastError() to the user itself.
  bool LastErrorShown() const { return lastErrorShown_; }

 protected:
  bool CancelRequested() const { return cancelRequested_.load(std::memory_order_acquire); }
  void RequestCancel() { cancelRequested_.store(true, std::memory_order_release); }
  bool ThresholdReached() { return threshold_ > 0 && GetSizeMB() >= threshold_; }
  void SetLastError(std::string text, bool shown = false) {
    lastError_ = std::move(text);
    lastErrorShown_ = shown;
  }

  uint32_t archiveSize_ = 0;
  int32_t threshold_ = 0;
  int32_t archivedCount_ = 0;

 private:
  std::atomic<bool> cancelRequested_{false};
  std::string lastError_;
  bool lastErrorShown_ = false;
};

namespace zel {

// The components of an archive sub-folder: split at "/" (a "\" counts as "/" too),
// each right-trimmed of blanks; empty, "." and ".." components are dropped.
std::vector<std::string> SubFolderComponents(const std::string& subFolder);
// The components joined with "/" (no leading or trailing "/"); "" for none.
std::string JoinSubFolder(const std::vector<std::string>& components);
// The last component of a "/" path ("" for a path ending in "/").
std::string FileNameOf(const std::string& path);
// `path` without trailing "/" characters ("/" stays "/").
std::string WithoutTrailingSlashes(const std::string& path);

}  // namespace zel
