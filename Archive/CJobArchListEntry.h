#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Archive/ArchiveTypes.h"
#include "recording/CKlFileListEntry.h"

// One archive job, and also one entry of the archive log. A plain value: copying
// copies every field and the whole list of sources.
//
// Before a run the sources are the folders or recording files to archive; after a
// successful run they are the recordings that were archived. In the archive log a
// source's StartTime holds its call id (the call's start in seconds since 1970, or
// the file's modification time when its header could not be read, or 0).
class CJobArchListEntry {
 public:
  // Widths of the texts in bytes (without the final NUL of the stored form).
  static constexpr size_t kUserWidth = 128;
  static constexpr size_t kCommentWidth = 1024;
  static constexpr size_t kTextWidth = 128;
  // Paths are not cut to the old 260-character limit: a cut target would name a
  // different archive. 4095 is the longest path the system accepts.
  static constexpr size_t kTargetWidth = 4095;

  CJobArchListEntry();
  virtual ~CJobArchListEntry();
  CJobArchListEntry(const CJobArchListEntry&) = default;
  CJobArchListEntry& operator=(const CJobArchListEntry&) = default;
  CJobArchListEntry(CJobArchListEntry&&) noexcept = default;
  CJobArchListEntry& operator=(CJobArchListEntry&&) noexcept = default;

  int32_t JobTime() const { return JobTime_; }
  // Also sets the date-time text (local short date, a blank, hours and minutes).
  void SetJobTime(int32_t time);
  const std::string& DateTimeText() const { return DateTimeText_; }

  uint32_t TotalDuration() const { return TotalDuration_; }
  void SetTotalDuration(uint32_t seconds) { TotalDuration_ = seconds; }
  zel::ArchiveType ArchiveType() const { return ArchiveType_; }
  void SetArchiveType(zel::ArchiveType type) { ArchiveType_ = type; }
  zel::StructureType StructureType() const { return StructureType_; }
  void SetStructureType(zel::StructureType type) { StructureType_ = type; }
  zel::MediaProcessing MediaProcessing() const { return MediaProcessing_; }
  void SetMediaProcessing(zel::MediaProcessing value) { MediaProcessing_ = value; }
  int32_t CallCount() const { return CallCount_; }
  void SetCallCount(int32_t count) { CallCount_ = count; }
  int32_t OptionWord() const { return OptionWord_; }
  void SetOptionWord(int32_t value) { OptionWord_ = value; }
  int32_t Threshold() const { return Threshold_; }
  void SetThreshold(int32_t mib) { Threshold_ = mib; }
  int32_t CancelJob() const { return CancelJob_; }
  void SetCancelJob(int32_t value) { CancelJob_ = value; }
  int32_t State() const { return State_; }
  void SetState(int32_t value) { State_ = value; }
  zel::SelectionType SelectionType() const { return SelectionType_; }
  void SetSelectionType(zel::SelectionType type) { SelectionType_ = type; }

  const std::string& Target() const { return Target_; }
  void SetTarget(const std::string& text);
  const std::string& User() const { return User_; }
  void SetUser(const std::string& text);
  const std::string& SpareText() const { return SpareText_; }
  void SetSpareText(const std::string& text);
  const std::string& Comment() const { return Comment_; }
  void SetComment(const std::string& text);

  const std::vector<CKlFileListEntry>& Sources() const { return Sources_; }
  std::vector<CKlFileListEntry>& Sources() { return Sources_; }
  // Appends a copy of `entry` and adds its duration to the total duration.
  void AddSource(const CKlFileListEntry& entry);
  // Drops every source (the total duration stays).
  void ClearSources() { Sources_.clear(); }

  int64_t StartTime() const { return StartTime_; }
  void SetStartTime(int64_t time) { StartTime_ = time; }
  int64_t EndTime() const { return EndTime_; }
  void SetEndTime(int64_t time) { EndTime_ = time; }
  int32_t SourcesModified() const { return SourcesModified_; }
  void SetSourcesModified(int32_t value) { SourcesModified_ = value; }
  // Where the last lookup by path in this entry matched; -1 before the first.
  int32_t LookupCursor() const { return LookupCursor_; }
  void SetLookupCursor(int32_t index) { LookupCursor_ = index; }

 private:
  int32_t JobTime_ = 0;
  uint32_t TotalDuration_ = 0;
  zel::ArchiveType ArchiveType_{};
  zel::StructureType StructureType_{};
  zel::MediaProcessing MediaProcessing_{};
  int32_t CallCount_ = 0;
  int32_t OptionWord_ = 1024;
  int32_t Threshold_ = 0;
  int32_t CancelJob_ = 0;
  int32_t State_ = 0;
  zel::SelectionType SelectionType_{};
  std::string Target_;
  std::string User_;
  std::string SpareText_;
  std::string DateTimeText_;
  std::string Comment_;
  std::vector<CKlFileListEntry> Sources_;
  int64_t StartTime_ = 0;
  int64_t EndTime_ = 0;
  int32_t SourcesModified_ = 0;
  int32_t LookupCursor_ = -1;
};

namespace zel {

// `text` cut to at most `width` bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t width);
// The job date-time text of `time`: the locale's short date ("%x"), a blank and
// the time as hours and minutes ("%H:%M"), in local time.
std::string JobDateTimeText(int64_t time);
// The locale's date and time of `time` ("%x %X", local) with every ".", "/", "\"
// and ":" replaced by "_", as used in archive and report file names;
// "Invalid DateTime" when it cannot be formatted.
std::string FileNameDateTime(int64_t time);

}  // namespace zel
