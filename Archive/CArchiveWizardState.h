#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Archive/ArchiveTypes.h"
#include "Archive/CJobArchListEntry.h"
#include "Archive/SourceRecordingOutcome.h"

class CKlFileListEntry;

// What the archive wizard's pages share: the user's choices, the texts the status
// panel shows for them, the checks made before a page is left, and the job built
// from them. Every choice starts as "Pending" until the user makes it.
class CArchiveWizardState {
 public:
  static constexpr const char* kPending = "Pending";

  CArchiveWizardState() { Reset(); }
  void Reset();

  // 0: every call of the list, 1: only the selected calls; -1 not chosen.
  int CallsChoice() const { return CallsChoice_; }
  // Sets the choice with the count and the sum of the file sizes of its calls.
  void SetCalls(int choice, const std::vector<const CKlFileListEntry*>& calls);
  int CallCount() const { return CallCount_; }
  uint64_t RequiredBytes() const { return RequiredBytes_; }
  const std::string& RequiredSpace() const { return RequiredSpace_; }

  const std::string& ArchivePath() const { return ArchivePath_; }
  void SetArchivePath(const std::string& path);
  zel::ArchiveType ArchiveType() const { return ArchiveType_; }
  void SetArchiveType(zel::ArchiveType type);
  const std::string& MethodText() const { return MethodText_; }
  int StructureType() const { return StructureType_; }
  void SetStructureType(int type);
  const std::string& StructureText() const { return StructureText_; }
  int MediaProcessing() const { return MediaProcessing_; }
  void SetMediaProcessing(int value);
  const std::string& MediaText() const { return MediaText_; }
  int LogIndex() const { return LogIndex_; }
  void SetLogIndex(int index) { LogIndex_ = index; }

  // "Please, select calls to be archived." while no calls were chosen, else "".
  std::string CallsProblem() const;
  // The first failing check of the job page, in the order the user is told, or "".
  std::string JobProblem() const;
  // The step of the modification of source recordings is left out.
  bool SkipsModification() const { return MediaProcessing_ <= 0; }

  // The job for `calls` (in list order): target, types, call count and sources
  // from the choices, `user` and `now` as its creator and time.
  CJobArchListEntry BuildJob(const std::vector<const CKlFileListEntry*>& calls, const std::string& user,
                             int64_t now) const;

  // "%.2f MB" above 2 MiB, "%.2f KB" above 2048 bytes, else "%d B".
  static std::string SpaceText(uint64_t bytes);
  // A moment as "%02d:%02d:%02d" in local time.
  static std::string ClockText(int64_t time);
  // A span of seconds as "%02d:%02d:%02d" (hours may exceed 99).
  static std::string DurationText(int64_t seconds);
  // The write duration: DurationText, or "Less Then 1 second" for none.
  static std::string WriteDurationText(int64_t seconds);
  // The "Call Modifications:" text of a finished job: how many originals were
  // deleted or stripped of their audio (`outcomes`, one per original), and which
  // were kept and why.
  static std::string ModificationText(const CJobArchListEntry& job,
                                      const std::vector<SourceRecordingOutcome>& outcomes);
  // The folder to show for an archive: the folder itself (DISK), else the folder
  // of the archive file.
  static std::string ArchiveFolder(zel::ArchiveType type, const std::string& path);
  // The label sets of the modification step: {title, start, cancel}.
  static std::vector<std::string> ModificationLabels(int mediaProcessing);

 private:
  int CallsChoice_;
  int CallCount_;
  uint64_t RequiredBytes_;
  std::string RequiredSpace_;
  std::string ArchivePath_;
  zel::ArchiveType ArchiveType_;
  std::string MethodText_;
  int StructureType_;
  std::string StructureText_;
  int MediaProcessing_;
  std::string MediaText_;
  int LogIndex_;
};
