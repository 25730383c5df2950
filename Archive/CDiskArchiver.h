#pragma once
#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Archive/ArchiveIndex.h"
#include "Archive/IArchiver.h"

// Archives recordings as a folder tree: <archive folder>/<sub-folder>/<file name>.
// AddFile only queues; Archive copies the queue in order and then brings the
// folder's "index.csv" and "index.html" up to date with the calls it copied.
class CDiskArchiver : public IArchiver {
 public:
  struct SEntry {
    std::string archivePath;
    std::string sourcePath;
    std::string subFolder;  // leading "/" removed
    int64_t callTime = 0;
  };

  explicit CDiskArchiver(ProgressFunction progress);
  ~CDiskArchiver() override;

  // Copies the queued recordings. Stops early, returning 0, when cancelled or
  // when the threshold is set and the copied size has reached it; the recording
  // that crossed the limit stays. Returns -1 when a folder cannot be created
  // because its parent is missing or a copy fails; copies made before stay.
  // The queue is empty afterwards in every case.
  int Archive() override;
  int Cancel() override;
  // Queues the recording; always returns 0.
  int AddFile(const std::string& archivePath, const std::string& sourcePath, const std::string& subFolder,
              int64_t callTime) override;
  zel::ArchiveType GetType() override { return zel::ArchiveType::kDisk; }
  // Size of the source files copied so far, in MiB.
  int GetSizeMB() override;
  IArchiver* Reset() override;

  size_t QueuedCount() const { return queue_.size(); }

 private:
  int CopyEntry(const SEntry& entry, size_t queued);
  // Writes the index of every archive folder this write copied into.
  int WriteIndexes(int result);

  std::vector<SEntry> queue_;
  ProgressFunction progress_;
  uint32_t filesCopied_ = 0;  // in the current write
  uint64_t totalSize_ = 0;    // bytes of the source files copied
  std::unordered_set<std::string> madeFolders_;  // in the current write
  // The calls copied in the current write, by archive folder, in order.
  std::vector<std::pair<std::string, std::vector<zel::ArchiveIndexRow>>> copied_;
  std::string passphrase_;  // for the index's texts of encrypted recordings
};
