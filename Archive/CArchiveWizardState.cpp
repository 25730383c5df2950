#include "Archive/CArchiveWizardState.h"

#include <cstdio>
#include <ctime>

#include "recording/CKlFileListEntry.h"

void CArchiveWizardState::Reset() {
  CallsChoice_ = -1;
  CallCount_ = 0;
  RequiredBytes_ = 0;
  RequiredSpace_ = SpaceText(0);
  ArchivePath_.clear();
  ArchiveType_ = zel::ArchiveType::kNone;
  MethodText_ = kPending;
  StructureType_ = -1;
  StructureText_ = kPending;
  MediaProcessing_ = -1;
  MediaText_ = kPending;
  LogIndex_ = -1;
}

void CArchiveWizardState::SetCalls(int choice, const std::vector<const CKlFileListEntry*>& calls) {
  CallsChoice_ = choice;
  CallCount_ = static_cast<int>(calls.size());
  RequiredBytes_ = 0;
  for (const auto* entry : calls) RequiredBytes_ += entry->FileSize();
  RequiredSpace_ = SpaceText(RequiredBytes_);
}

void CArchiveWizardState::SetArchivePath(const std::string& path) {
  ArchivePath_ = path;
  // A folder is kept without its final separator, as the archive names it.
  while (ArchivePath_.size() > 1 && ArchivePath_.back() == '/') ArchivePath_.pop_back();
}

void CArchiveWizardState::SetArchiveType(zel::ArchiveType type) {
  ArchiveType_ = type;
  MethodText_ = zel::ArchiveReportName(type);
}

void CArchiveWizardState::SetStructureType(int type) {
  StructureType_ = type;
  const auto* row = zel::TextOf(static_cast<zel::StructureType>(type));
  StructureText_ = row ? row->Label : kPending;
}

void CArchiveWizardState::SetMediaProcessing(int value) {
  MediaProcessing_ = value;
  const auto* row = zel::TextOf(static_cast<zel::MediaProcessing>(value));
  MediaText_ = row ? row->Label : kPending;
}

std::string CArchiveWizardState::CallsProblem() const {
  return CallsChoice_ < 0 ? "Please, select calls to be archived." : "";
}

std::string CArchiveWizardState::JobProblem() const {
  if (ArchivePath_.empty()) return "Archive path must be specified.";
  if (MethodText_ == kPending) return "Write method must be specified.";
  if (MediaText_ == kPending) return "Calls modification must be specified.";
  if (StructureText_ == kPending) return "Archive structure must be specified.";
  return "";
}

CJobArchListEntry CArchiveWizardState::BuildJob(const std::vector<const CKlFileListEntry*>& calls,
                                                const std::string& user, int64_t now) const {
  CJobArchListEntry job;
  job.SetTarget(ArchivePath_);
  job.SetArchiveType(ArchiveType_);
  job.SetStructureType(static_cast<zel::StructureType>(StructureType_ < 0 ? 0 : StructureType_));
  job.SetMediaProcessing(static_cast<zel::MediaProcessing>(MediaProcessing_ < 0 ? 0 : MediaProcessing_));
  job.SetCallCount(CallCount_);
  job.SetUser(user);
  job.SetJobTime(static_cast<int32_t>(now));
  for (const auto* entry : calls) job.AddSource(*entry);
  return job;
}

std::string CArchiveWizardState::SpaceText(uint64_t bytes) {
  char text[64];
  if (bytes > 2097152) {
    std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1048576.0);
  } else if (bytes > 2048) {
    std::snprintf(text, sizeof text, "%.2f KB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%d B", static_cast<int>(bytes));
  }
  return text;
}

std::string CArchiveWizardState::ClockText(int64_t time) {
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  localtime_r(&t, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string CArchiveWizardState::DurationText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

std::string CArchiveWizardState::WriteDurationText(int64_t seconds) {
  return seconds == 0 ? "Less Then 1 second" : DurationText(seconds);
}

std::string CArchiveWizardState::ModificationText(const CJobArchListEntry& job,
                                                  const std::vector<SourceRecordingOutcome>& outcomes) {
  bool remove = job.MediaProcessing() == zel::MediaProcessing::kRemoveAudio;
  if (job.SourcesModified() == 0 || (!remove && job.MediaProcessing() != zel::MediaProcessing::kDelete)) {
    return "No calls were modified.";
  }
  size_t changed = 0;
  std::string kept;
  size_t keptCount = 0;
  constexpr size_t kNamed = 10;  // the rest are counted: the page is no log
  for (const auto& outcome : outcomes) {
    if (outcome.Changed) {
      ++changed;
      continue;
    }
    if (keptCount++ < kNamed) {
      size_t slash = outcome.Path.rfind('/');
      kept += (kept.empty() ? "" : "; ") + outcome.Path.substr(slash == std::string::npos ? 0 : slash + 1) +
              " (" + outcome.Why + ")";
    }
  }
  if (changed > 0 && keptCount == 0) {
    return remove ? "Audio was removed from all archived original files." : "All archived original files were deleted.";
  }
  std::string text;
  if (changed == 0) {
    text = "No calls were modified.";
  } else {
    std::string count = std::to_string(changed) + " of " + std::to_string(outcomes.size());
    text = remove ? "Audio was removed from " + count + " original files." : count + " original files were deleted.";
  }
  if (keptCount == 0) return text + " No call was archived.";
  if (keptCount > kNamed) kept += "; and " + std::to_string(keptCount - kNamed) + " more";
  return text + " Kept: " + kept + ".";
}

std::string CArchiveWizardState::ArchiveFolder(zel::ArchiveType type, const std::string& path) {
  if (type == zel::ArchiveType::kDisk) return path;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::vector<std::string> CArchiveWizardState::ModificationLabels(int mediaProcessing) {
  if (mediaProcessing == 2) return {"&Remove Audio:", "&Start Remove Audio", "&Cancel Remove Audio"};
  return {"&Delete Original Calls:", "&Start Delete", "&Cancel Delete"};
}
