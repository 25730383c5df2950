#pragma once
#include <cstdint>
#include <string>

#include "Archive/ArchiveTypes.h"
#include "recording/CKlFileListEntry.h"

// One recording selected by an archive run: the list entry of the source it was
// found under, given the recording's own path, plus what the run did with it.
class CArchiveFileListEntry : public CKlFileListEntry {
 public:
  CArchiveFileListEntry() = default;
  explicit CArchiveFileListEntry(const CKlFileListEntry& source) : CKlFileListEntry(source) {}
  ~CArchiveFileListEntry() override;
  CArchiveFileListEntry(const CArchiveFileListEntry&) = default;
  CArchiveFileListEntry& operator=(const CArchiveFileListEntry&) = default;

  // 1 once handed to an archiver; cleared again when the write did not take it.
  int32_t Archived() const { return Archived_; }
  void SetArchived(int32_t value) { Archived_ = value; }
  zel::MediaProcessing MediaProcessing() const { return MediaProcessing_; }
  void SetMediaProcessing(zel::MediaProcessing value) { MediaProcessing_ = value; }
  int64_t ArchiveTime() const { return ArchiveTime_; }
  void SetArchiveTime(int64_t time) { ArchiveTime_ = time; }
  zel::ArchiveType ArchiveType() const { return ArchiveType_; }
  void SetArchiveType(zel::ArchiveType type) { ArchiveType_ = type; }
  // The archive (folder or file) the recording was handed to.
  const std::string& ArchiveTargetPath() const { return ArchiveTargetPath_; }
  void SetArchiveTargetPath(const std::string& path) { ArchiveTargetPath_ = path; }
  // The sub-folder inside the archive the recording was handed to.
  const std::string& SubFolder() const { return SubFolder_; }
  void SetSubFolder(const std::string& subFolder) { SubFolder_ = subFolder; }

 private:
  int32_t Archived_ = 0;
  zel::MediaProcessing MediaProcessing_{};
  int64_t ArchiveTime_ = 0;
  zel::ArchiveType ArchiveType_{};
  std::string ArchiveTargetPath_;
  std::string SubFolder_;
};
