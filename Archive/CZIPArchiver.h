#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Archive/ArchiveIndex.h"
#include "Archive/IArchiver.h"
#include "toolkit/zip/CZipArchive.h"

// Archives recordings into one ZIP archive as "<sub-folder>/<file name>".
// AddFile only queues; Archive opens the archive once, adds the queue to a working
// copy and puts the copy in place at the end, so the archive under its name is a
// complete ZIP archive at every moment. Each session also brings the members
// "index.csv" and "index.html" up to date with the calls it put in. A recording whose name and content the
// archive holds already is not added a second time (it counts as archived).
class CZIPArchiver : public IArchiver {
 public:
  struct SEntry {
    std::string archivePath;
    std::string sourcePath;
    std::string subFolder;
  };

  // Registered with the ZIP layer for every add: forwards the progress of the
  // run and stops the current add once the cancel flag is set.
  class CProgressCallback : public zel::zip::IActionCallback {
   public:
    explicit CProgressCallback(ProgressFunction progress) : progress_(std::move(progress)) {}
    bool Callback(uint64_t processed, uint64_t total) override;

    void SetTotal(uint32_t total) { total_ = total; }
    uint32_t GetTotal() const { return total_; }
    // Recordings finished before the current one.
    void SetDone(uint32_t done) { done_ = done; }
    void SetCancel(bool cancel) { cancel_.store(cancel, std::memory_order_release); }
    bool IsCancelled() const { return cancel_.load(std::memory_order_acquire); }

   private:
    ProgressFunction progress_;
    uint32_t total_ = 0;
    uint32_t done_ = 0;
    std::atomic<bool> cancel_{false};
  };

  explicit CZIPArchiver(ProgressFunction progress);
  ~CZIPArchiver() override;

  // Adds the queued recordings and returns how many it processed (including
  // those taken back for the threshold). Returns -1 when a recording could not be
  // added (what was added before stays) or the archive could not be written
  // (nothing reached it then), and 0 when the write was cancelled (the archive is
  // left as it was before the write, its working copy removed). In every case the
  // archive on disk is a valid ZIP archive and the queue is empty afterwards.
  int Archive() override;
  int Cancel() override;
  // Queues the recording (the call time is not used); always returns 0.
  int AddFile(const std::string& archivePath, const std::string& sourcePath, const std::string& subFolder,
              int64_t callTime) override;
  zel::ArchiveType GetType() override { return zel::ArchiveType::kZip; }
  int GetSizeMB() override { return static_cast<int>(zipSize_ >> 20); }
  IArchiver* Reset() override;

 private:
  enum class AddOutcome { kDone, kFailed, kCancelled };
  AddOutcome AddEntry(zel::zip::CZipArchive& zip, const SEntry& entry);
  // Puts what the session added in place; false (and nothing counted) on failure.
  bool Commit(zel::zip::CZipArchive& zip, int32_t archivedBefore);
  // Adds the index of the archive with this session's calls; false on failure.
  bool AddIndex(zel::zip::CZipArchive& zip);
  // The index row of a recording just put in as `name`.
  bool Describe(const SEntry& entry, const std::string& name);

  std::vector<SEntry> queue_;
  ProgressFunction progress_;
  CProgressCallback callback_;
  std::vector<zel::ArchiveIndexRow> sessionRows_;  // the calls put in by this session
  std::string passphrase_;
  uint64_t zipSize_ = 0;  // the archive's length; archiveSize_ holds it clamped to 32 bits
};
