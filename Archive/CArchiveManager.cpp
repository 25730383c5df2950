#include "Archive/CArchiveManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "Archive/ArchiveIndex.h"
#include "Archive/ArchiveTargetGuard.h"
#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveRunLock.h"
#include "Archive/CISOArchiver.h"
#include "core/AuditTrail.h"
#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/SameFile.h"
#include "core/MessageSink.h"
#include "recording/CLegalHolds.h"
#include "recording/CKlRecordFileHdr.h"
#include "toolkit/zip/CZipArchive.h"

namespace {

bool EndsWithZel(const std::string& path) {
  if (path.size() < 3) return false;
  std::string tail = path.substr(path.size() - 3);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == "zel";
}

// The names inside a ZIP archive, with "\" read as "/" and leading "/" removed,
// mapped to their uncompressed sizes. Empty when the archive cannot be read.
std::unordered_multimap<std::string, uint64_t> ZipNames(const std::string& path) {
  std::vector<zel::zip::CZipArchive::ListedEntry> entries;
  zel::zip::CZipArchive::List(path, entries);
  std::unordered_multimap<std::string, uint64_t> names;
  for (auto& entry : entries) names.emplace(std::move(entry.Name), entry.Size);
  return names;
}

// The name a recording gets inside an archive: its sub-folder's components and
// its file name, joined with "/".
std::string NameInArchive(const CArchiveFileListEntry& entry) {
  std::string folder = zel::JoinSubFolder(zel::SubFolderComponents(entry.SubFolder()));
  std::string file = zel::FileNameOf(entry.Path());
  return folder.empty() ? file : folder + "/" + file;
}

}  // namespace

CArchiveManager::CArchiveManager()
    : CKlThread("Archive Manager"),
      holder_([this](double percent) {
        progress_.store(percent);
        if (IProgressBarSink* sink = sink_.load()) sink->OnProgress(static_cast<int>(percent));
      }) {}

CArchiveManager::~CArchiveManager() {
  StopWorker();
  Stop();
  zel::MutexLock lock(jobsMutex_);
  jobs_.clear();
  currentJob_.store(nullptr);
}

int64_t CArchiveManager::Now() const {
  return clock_ ? clock_() : static_cast<int64_t>(std::time(nullptr));
}

std::string CArchiveManager::Passphrase() const {
  return Singleton<CSettings>::Instance()->GetPassphrase();
}

int CArchiveManager::AddJob(const CJobArchListEntry& job, IProgressBarSink* sink) {
  zel::MutexLock lock(jobsMutex_);
  jobs_.push_back(std::make_unique<CJobArchListEntry>(job));
  sink_.store(sink);
  return static_cast<int>(jobs_.size()) - 1;
}

void CArchiveManager::ZeroStats() {
  aborted_.store(0);
  archivedCount_.store(0);
  selectedCount_.store(0);
  progress_.store(0.0);
}

void CArchiveManager::Start(bool deleteJobsAfterRun) {
  if (HasThread()) CKlThread::Stop();
  deleteJobsAfterRun_.store(deleteJobsAfterRun);
  runRefusedBusy_.store(false);
  ZeroStats();
  {
    zel::MutexLock lock(problemsMutex_);
    problems_.clear();
  }
  {
    zel::MutexLock lock(outcomesMutex_);
    outcomes_.clear();
  }
  CKlThread::Start(THREAD_PRIORITY_NORMAL);
}

void CArchiveManager::StopWorker() {
  if (!IsRunning()) return;
  SignalStop();
  holder_.Cancel();
}

void CArchiveManager::Cancel() {
  if (!IsRunning()) return;
  SignalStop();
  holder_.Cancel();
  aborted_.store(1);
  CKlThread::Stop();
}

ArchiveRunStats CArchiveManager::GetRunStats() const {
  ArchiveRunStats stats;
  stats.Aborted = aborted_.load();
  stats.ArchivedCount = archivedCount_.load();
  stats.SelectedCount = selectedCount_.load();
  stats.Progress = progress_.load();
  zel::MutexLock lock(problemsMutex_);
  stats.Problems = static_cast<int32_t>(problems_.size());
  return stats;
}

std::vector<std::string> CArchiveManager::RunProblems() const {
  zel::MutexLock lock(problemsMutex_);
  return problems_;
}

void CArchiveManager::ReportProblem(const std::string& text, IMessageSink::Icon icon, bool shown) {
  Singleton<CKlLogger>::Instance()->LogLine("ArchiveManager: %s", text.c_str());
  {
    zel::MutexLock lock(problemsMutex_);
    problems_.push_back(text);
  }
  if (!shown) zel::ShowMessage(text, icon);
}

void CArchiveManager::CopySelected(std::vector<CArchiveFileListEntry>& list, bool clearAfter) {
  {
    zel::MutexLock lock(selectedMutex_);
    list.insert(list.end(), selected_.begin(), selected_.end());
  }
  if (clearAfter) ClearSelected();
}

std::vector<CArchiveFileListEntry> CArchiveManager::ArchivedRecordings() const {
  std::vector<CArchiveFileListEntry> list;
  zel::MutexLock lock(selectedMutex_);
  for (const auto& entry : selected_) {
    if (entry.Archived() != 0) list.push_back(entry);
  }
  return list;
}

void CArchiveManager::ClearSelected() {
  StopWorker();
  CKlThread::Stop();
  ZEL_LOCK(lock_);
  zel::MutexLock lock(selectedMutex_);
  selected_.clear();
}

void CArchiveManager::ClearJobs() {
  StopWorker();
  CKlThread::Stop();
  ZEL_LOCK(lock_);
  zel::MutexLock lock(jobsMutex_);
  currentJob_.store(nullptr);
  jobs_.clear();
}

int CArchiveManager::JobCount() const {
  zel::MutexLock lock(jobsMutex_);
  return static_cast<int>(jobs_.size());
}

bool CArchiveManager::GetJob(int index, CJobArchListEntry& out) const {
  zel::MutexLock lock(jobsMutex_);
  if (index < 0 || index >= static_cast<int>(jobs_.size())) return false;
  out = *jobs_[static_cast<size_t>(index)];
  return true;
}

void CArchiveManager::SetPathPrefix(const std::string& prefix) { pathPrefix_ = prefix; }

int CArchiveManager::FindLogIndexByFile(const CKlFileListEntry& entry) {
  return Singleton<CArchiveLogger>::Instance()->FindLogIndexByFile(entry);
}

int CArchiveManager::FindLogIndexByPath(const std::string& path) {
  return Singleton<CArchiveLogger>::Instance()->FindLogIndexByPath(path);
}

unsigned CArchiveManager::Run() {
  tzset();
  ZEL_LOCK(lock_);
  {
    zel::MutexLock lock(selectedMutex_);
    selected_.clear();  // a run's selection holds only its own recordings
  }
  int32_t total = 0;
  size_t jobCount;
  {
    zel::MutexLock lock(jobsMutex_);
    jobCount = jobs_.size();
  }
  if (jobCount == 0) return 0;
  {
    zel::MutexLock lock(jobsMutex_);
    currentJob_.store(jobs_.front().get());
  }
  selectedCount_.store(0);
  if (IProgressBarSink* sink = sink_.load()) sink->OnStarted();
  // One run at a time across processes: a second one would archive the same
  // recordings again and both would post-process them.
  CArchiveRunLock runLock;
  bool mayRun = runLock.Acquire([this] { return IsRunning(); });
  if (!mayRun && !runLock.Waited()) {
    // No lock file can be made (a read-only configuration folder): run unguarded
    // rather than not at all; the log's own file lock still keeps it whole.
    Singleton<CKlLogger>::Instance()->LogLine("ArchiveManager: no run lock at %s", runLock.DataPath().c_str());
    mayRun = true;
  } else if (!mayRun) {
    aborted_.store(1);
    runRefusedBusy_.store(true);
    ReportProblem("Another archive run is in progress; this run did not start. Please try again later.");
  } else if (runLock.Waited()) {
    // The other run may have logged recordings this one would select again.
    auto log = Singleton<CArchiveLogger>::Instance();
    if (log->IsLoaded() && !log->IsDirty()) log->Load(true);
  }
  for (size_t i = 0; mayRun && IsRunning(); ++i) {
    CJobArchListEntry* job;
    {
      zel::MutexLock lock(jobsMutex_);
      if (i >= jobs_.size()) break;
      job = jobs_[i].get();
    }
    currentJob_.store(job);
    jobArchived_ = 0;
    jobRefused_ = 0;
    if (Prepare(*job) == 0) {
      job->SetStartTime(Now());
      CollectAndArchive(*job);
      job->SetEndTime(Now());
    }
    total += jobArchived_;
    holder_.Release();
    targetLock_.reset();
  }
  archivedCount_.store(total);
  if (IProgressBarSink* sink = sink_.load()) sink->OnFinished(currentJob_.load());
  if (deleteJobsAfterRun_.load()) {
    zel::MutexLock lock(jobsMutex_);
    currentJob_.store(nullptr);
    jobs_.clear();
  }
  return 0;
}

int CArchiveManager::Prepare(CJobArchListEntry& job) {
  ZeroStats();
  for (const auto& source : job.Sources()) {
    struct stat info {};
    if (source.Path().empty() || ::stat(source.Path().c_str(), &info) != 0) {
      aborted_.store(1);
      char text[4200];
      std::snprintf(text, sizeof text, "ArchiveManager error - invalid file (...%s)",
                    source.Path().c_str());
      ReportProblem(text);
      break;
    }
  }
  std::vector<std::string> sources;
  for (const auto& source : job.Sources()) sources.push_back(source.Path());
  if (std::string conflict = zel::ArchiveTargetConflict(job.Target(), sources); !conflict.empty()) {
    // Refused before the archive's folder is made or any call is selected.
    aborted_.store(1);
    ReportProblem(conflict);
    return -1;
  }
  int result = holder_.Create(job.ArchiveType(), job.Target());
  if (result == -100) {
    // Nothing can be archived: the run has failed, and the user must know why.
    aborted_.store(1);
    ReportProblem("Unsupported Archive Type " + std::to_string(zel::ToInt(job.ArchiveType())) +
                  ": no call was archived into " + job.Target());
  }
  if (result != 0) return result;
  if (job.ArchiveType() != zel::ArchiveType::kIso) {
    // An index that cannot be read safely (a FIFO, a device, a bomb) would hold
    // or fail the write after the copies: the target is refused first.
    std::string problem =
        zel::ArchiveIndex::ExistingIndexProblem(job.Target(), job.ArchiveType() == zel::ArchiveType::kZip);
    if (!problem.empty()) {
      aborted_.store(1);
      ReportUnwritable(job.Target(), problem);
      return -1;
    }
  }
  std::string reason;
  if (!MakeArchiveFolder(job, reason)) {
    aborted_.store(1);
    ReportUnwritable(job.Target(), reason);
    return -1;
  }
  // Held until the write ends: a second run into the same archive (another
  // process, a scheduled run) would overwrite or interleave with this one.
  targetLock_ = std::make_unique<zel::FileLock>(zel::WithoutTrailingSlashes(job.Target()), zel::FileLock::Wait::kTry,
                                               zel::FileLock::Release::kRemove);
  if (!targetLock_->Locked()) {
    int error = targetLock_->Error();
    targetLock_.reset();
    aborted_.store(1);
    ReportUnwritable(job.Target(), error == EWOULDBLOCK ? "another archive run is writing it" : std::strerror(error));
    return -1;
  }
  holder_.Archiver()->Reset();
  holder_.Archiver()->SetThreshold(job.Threshold());
  return 0;
}

bool CArchiveManager::MakeArchiveFolder(const CJobArchListEntry& job, std::string& reason) {
  std::filesystem::path folder(job.Target());
  if (job.ArchiveType() != zel::ArchiveType::kDisk) folder = folder.parent_path();
  if (folder.empty()) return true;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error && std::filesystem::is_directory(folder, error)) return true;
  reason = error ? error.message() : std::strerror(ENOTDIR);
  return false;
}

void CArchiveManager::ReportUnwritable(const std::string& target, const std::string& reason, bool shown) {
  ReportProblem("The archive " + target + " cannot be written: " + reason, IMessageSink::Icon::Error, shown);
}

void CArchiveManager::CollectAndArchive(CJobArchListEntry& job) {
  IArchiver* archiver = holder_.Archiver();
  size_t first;
  {
    zel::MutexLock lock(selectedMutex_);
    first = selected_.size();
  }
  for (const auto& source : job.Sources()) {
    if (!IsRunning()) break;
    Walk(source.Path(), source, job, true);
    archivedCount_.store(archiver->GetArchivedCount());
    if (IProgressBarSink* sink = sink_.load()) sink->OnProgress(0);
  }
  if (jobRefused_ > 0 && IsRunning()) {
    // Calls the selection took and the archive would not: the run has not done all its work.
    std::string reason = archiver->LastError();
    if (reason.empty() && job.Threshold() > 0) {
      reason = "the size limit of " + std::to_string(job.Threshold()) + " MiB was reached";
    }
    ReportProblem(std::to_string(jobRefused_) + (jobRefused_ == 1 ? " call was" : " calls were") +
                      " refused by the archive " + job.Target() + (reason.empty() ? std::string() : ": " + reason),
                  IMessageSink::Icon::Warning, jobRefused_ == 1 && archiver->LastErrorShown());
  }
  job.SetJobTime(static_cast<int32_t>(Now()));
  job.SetCallCount(archiver->GetArchivedCount());
  if (IsRunning() && selectedCount_.load() != 0) {
    int result = archiver->Archive();
    // Only what the archive holds when the write ends counts.
    jobArchived_ = ConfirmArchived(first, result);
    job.SetCallCount(jobArchived_);
    archivedCount_.store(jobArchived_);
    int32_t selected = static_cast<int32_t>(selectedCount_.load());
    if (jobArchived_ < selected && IsRunning()) {
      // Not every selected call reached the archive: the user has to know why,
      // not only the log.
      std::string reason = archiver->LastError();
      if (reason.empty() && jobArchived_ == 0) {
        std::string folder = job.ArchiveType() == zel::ArchiveType::kDisk
                                 ? job.Target()
                                 : std::filesystem::path(job.Target()).parent_path().string();
        reason = ::access(folder.c_str(), W_OK) != 0 ? std::strerror(errno) : "the write failed";
      }
      if (reason.empty() && job.Threshold() > 0) {
        reason = "the size limit of " + std::to_string(job.Threshold()) + " MiB was reached";
      }
      bool shown = archiver->LastErrorShown();
      if (jobArchived_ == 0) {
        ReportUnwritable(job.Target(), reason, shown);
      } else {
        ReportProblem(std::to_string(selected - jobArchived_) + " of the " + std::to_string(selected) +
                          " selected calls did not reach the archive " + job.Target() +
                          (reason.empty() ? std::string() : ": " + reason),
                      IMessageSink::Icon::Warning, shown);
      }
    }
  } else {
    // Nothing was written: the selection of this job is not in any archive.
    zel::MutexLock lock(selectedMutex_);
    for (size_t i = first; i < selected_.size(); ++i) selected_[i].SetArchived(0);
  }
  WaitUntilStopped(100);  // the pause between jobs, cut short by a stop
}

// After a write that did not take every selected recording (a threshold, a
// failure, a cancel, a name written twice), finds out which ones are in the
// archive, so that neither the archive log nor the deletion of source
// recordings covers the others.
int32_t CArchiveManager::ConfirmArchived(size_t first, int writeResult) {
  IArchiver* archiver = holder_.Archiver();
  zel::ArchiveType type = holder_.Type();
  int32_t archived = archiver->GetArchivedCount();
  zel::MutexLock lock(selectedMutex_);
  size_t count = selected_.size() - first;
  bool writeOk = type == zel::ArchiveType::kZip ? writeResult >= 0 : writeResult == 0;
  if (writeOk && archived >= 0 && static_cast<size_t>(archived) >= count) {
    // Every recording was written.
  } else if (type == zel::ArchiveType::kZip) {
    auto names = ZipNames(holder_.TargetPath());
    for (size_t i = first; i < selected_.size(); ++i) {
      std::string name = NameInArchive(selected_[i]);
      struct stat info {};
      bool found = false;
      if (::stat(selected_[i].Path().c_str(), &info) == 0) {
        auto [first, last] = names.equal_range(name);
        for (auto it = first; it != last && !found; ++it) found = it->second == static_cast<uint64_t>(info.st_size);
      }
      if (!found) selected_[i].SetArchived(0);
    }
  } else if (type == zel::ArchiveType::kIso) {
    // The image holds every accepted recording once it was written, none otherwise.
    if (!writeOk) {
      for (size_t i = first; i < selected_.size(); ++i) selected_[i].SetArchived(0);
    }
  } else {
    // The folder tree is written in queue order and stops at the first file it
    // does not copy: the first `archived` recordings are the ones copied.
    size_t kept = archived < 0 ? 0 : static_cast<size_t>(archived);
    for (size_t i = first + std::min(kept, count); i < selected_.size(); ++i) selected_[i].SetArchived(0);
  }
  if (type == zel::ArchiveType::kDisk) {
    // A later copy of the same name replaced an earlier one: only the later
    // recording is in the archive. A copy that is its own source (a structure
    // leading back into a source folder) is no second copy: the media step must
    // not delete or strip it.
    std::unordered_map<std::string, size_t> latest;
    const std::string root = zel::WithoutTrailingSlashes(holder_.TargetPath());
    for (size_t i = first; i < selected_.size(); ++i) {
      if (selected_[i].Archived() == 0) continue;
      if (zel::IsSameFile(root + "/" + NameInArchive(selected_[i]), selected_[i].Path())) {
        selected_[i].SetArchived(0);
        continue;
      }
      auto [at, inserted] = latest.try_emplace(NameInArchive(selected_[i]), i);
      if (!inserted) {
        selected_[at->second].SetArchived(0);
        at->second = i;
      }
    }
  }
  int32_t confirmed = 0;
  for (size_t i = first; i < selected_.size(); ++i) confirmed += selected_[i].Archived() != 0 ? 1 : 0;
  return confirmed;
}

void CArchiveManager::Walk(const std::string& path, const CKlFileListEntry& source,
                           CJobArchListEntry& job, bool top) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    // A single recording is taken as it is; any other file is not a recording.
    if (top && S_ISREG(info.st_mode) && EndsWithZel(path)) Candidate(path, info, source, job);
    return;
  }
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (struct dirent* item = ::readdir(dir)) {
    std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ::closedir(dir);
  // Name order keeps runs repeatable and the log's lookups cheap.
  std::sort(names.begin(), names.end());
  std::string base = path;
  if (base.empty() || base.back() != '/') base += '/';
  for (const auto& name : names) {
    if (!IsRunning()) return;
    std::string child = base + name;
    struct stat own {};
    if (::lstat(child.c_str(), &own) != 0) continue;
    if (S_ISDIR(own.st_mode)) {
      Walk(child, source, job, false);
      continue;
    }
    if (!EndsWithZel(name)) continue;
    struct stat target {};
    // A link is followed to a file only: linked folders could make the walk circular.
    if (::stat(child.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) continue;
    Candidate(child, target, source, job);
  }
}

void CArchiveManager::Candidate(const std::string& path, const struct stat& info,
                                const CKlFileListEntry& source, CJobArchListEntry& job) {
  int64_t created = static_cast<int64_t>(info.st_mtime);
  int64_t now = Now();
  int64_t today = now - (now % zel::kSecondsPerDay);
  if (job.SelectionType() == zel::SelectionType::kUnarchived) {
    if (Singleton<CArchiveLogger>::Instance()->FindLogIndexByPath(path) >= 0) return;
  } else if (const auto* selection = zel::TextOf(job.SelectionType()); selection && selection->MaxAgeDays > 0) {
    if (created < today - selection->MaxAgeDays * zel::kSecondsPerDay) return;
  }
  CArchiveFileListEntry entry(source);
  entry.SetPath(path);
  std::string subFolder = SubFolderFor(entry, job.StructureType(), Passphrase());
  if (int added = holder_.Add(path, subFolder, pathPrefix_, entry.StartTime()); added != 0) {
    if (added != CISOArchiver::kCancelledResult) ++jobRefused_;
    return;
  }
  entry.SetArchiveTargetPath(holder_.TargetPath());
  entry.SetSubFolder(CArchiverHolder::ApplyPrefix(subFolder, pathPrefix_));
  entry.SetArchived(1);
  entry.SetMediaProcessing(job.MediaProcessing());
  entry.SetArchiveType(holder_.Type());
  entry.SetArchiveTime(now);
  {
    zel::MutexLock lock(selectedMutex_);
    selected_.push_back(std::move(entry));
  }
  selectedCount_.fetch_add(1);
}

std::string CArchiveManager::MonthFolderName(int64_t time) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%s %d", kMonths[local.tm_mon % 12], local.tm_year + 1900);
  return text;
}

std::string CArchiveManager::SubFolderFor(CKlFileListEntry& entry, zel::StructureType structureType,
                                          const std::string& passphrase) {
  const std::string& path = entry.Path();
  switch (structureType) {
    case zel::StructureType::kByUser: {
      size_t slash = path.find_last_of('/');
      std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
      size_t dash = name.find('-');
      return dash == std::string::npos ? std::string() : name.substr(0, dash);
    }
    case zel::StructureType::kByMonth:
      if (!entry.DetailsLoaded()) entry.LoadDetails(passphrase);
      return MonthFolderName(entry.StartTime());
    case zel::StructureType::kByPath: {
      size_t slash = path.find_last_of('/');
      if (slash == std::string::npos || slash == 0) return std::string();
      return path.substr(0, slash);
    }
    default:
      return std::string();
  }
}

int CArchiveManager::ProcessSourceRecordings(CJobArchListEntry*) {
  {
    zel::MutexLock lock(outcomesMutex_);
    outcomes_.clear();
  }
  CJobArchListEntry* job = currentJob_.load();
  if (job == nullptr) return 0;
  zel::MediaProcessing media = job->MediaProcessing();
  if (media != zel::MediaProcessing::kDelete && media != zel::MediaProcessing::kRemoveAudio) return 0;
  job->SetSourcesModified(1);
  std::unordered_set<std::string> archived;
  {
    zel::MutexLock lock(selectedMutex_);
    for (const auto& entry : selected_) {
      if (entry.Archived() != 0) archived.insert(entry.Path());
    }
  }
  auto logger = Singleton<CKlLogger>::Instance();
  std::string passphrase = Passphrase();
  int failures = 0;
  std::vector<SourceRecordingOutcome> outcomes;
  for (const auto& source : job->Sources()) {
    const std::string& path = source.Path();
    if (path.empty()) {
      logger->LogLine("Archiver: File cannot be deleted - empty");
      continue;
    }
    SourceRecordingOutcome& outcome = outcomes.emplace_back();
    outcome.Path = path;
    // A recording that did not reach the archive keeps its audio.
    if (archived.count(path) == 0) {
      logger->LogLine("Archiver: File %s was not archived and is left as it is", path.c_str());
      outcome.Why = "it did not reach the archive";
      continue;
    }
    // A call on legal hold stays as it is: it is archived, but never deleted or stripped.
    if (auto hold = Singleton<CLegalHolds>::Instance()->HoldFor(path)) {
      std::string why = CLegalHolds::Describe(*hold);
      logger->LogLine("Archiver: File %s is kept: %s", path.c_str(), why.c_str());
      zel::ShowMessage("The recording " + path + " was archived and kept: it is " + why,
                       IMessageSink::Icon::Information);
      outcome.Why = "it is " + why;
      zel::AuditTrail::Record("kept on hold", path, media == zel::MediaProcessing::kDelete ? "archive delete"
                                                                                           : "archive remove audio");
      continue;
    }
    const std::string before = zel::AuditTrail::Sha256OfFile(path);
    if (media == zel::MediaProcessing::kDelete) {
      logger->LogLine("Archiver: Deleted file %s", path.c_str());
      if (::unlink(path.c_str()) != 0) {
        std::string reason = std::strerror(errno);
        logger->Log("Archiver: File %s cannot be deleted\n", path.c_str());
        ReportProblem("The recording " + path + " cannot be deleted: " + reason);
        outcome.Why = "it cannot be deleted: " + reason;
        ++failures;
      } else {
        outcome.Changed = true;
        zel::AuditTrail::Record("delete", path, "archived to " + job->Target(), "", before);
      }
      continue;
    }
    bool kept = false;
    std::string reason = RemoveAudio(path, passphrase, kept);
    if (!reason.empty()) {
      logger->Log("Archiver: The audio cannot be removed from file %s: %s\n", path.c_str(), reason.c_str());
      ReportProblem("The audio cannot be removed from the recording " + path + ": " + reason);
      outcome.Why = "its audio cannot be removed: " + reason;
      ++failures;
    } else if (kept) {
      // Left as it is by design (e.g. encrypted without the passphrase); the user is
      // told, but nothing failed.
      logger->Log("Archiver: File %s keeps its audio: its header cannot be read\n", path.c_str());
      zel::ShowMessage("The recording " + path + " keeps its audio: its header cannot be read",
                       IMessageSink::Icon::Warning);
      outcome.Why = "its header cannot be read";
    } else {
      outcome.Changed = true;
      zel::AuditTrail::Record("remove audio", path, "archived to " + job->Target(), "", before,
                              zel::AuditTrail::Sha256OfFile(path));
    }
  }
  zel::MutexLock lock(outcomesMutex_);
  outcomes_ = std::move(outcomes);
  return failures;
}

std::vector<SourceRecordingOutcome> CArchiveManager::SourceOutcomes() const {
  zel::MutexLock lock(outcomesMutex_);
  return outcomes_;
}

// Replaces a recording by its header alone. The header goes to a new file beside
// the recording, which is then renamed over it: the recording is never missing,
// and a failure leaves it as it was. A header that cannot be read leaves the file
// alone.
std::string CArchiveManager::RemoveAudio(const std::string& path, const std::string& passphrase, bool& kept) {
  kept = false;
  CKlRecordFileHdr header;
  if (header.LoadHeader(path, passphrase) <= 0) {
    kept = true;
    return std::string();
  }
  auto failure = [](int error) { return std::string(std::strerror(error != 0 ? error : EIO)); };
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return failure(errno);
  std::string temp = path + ".tmpXXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return failure(errno);
  ::fchmod(fd, info.st_mode & 07777);
  ::close(fd);
  std::string reason;
  errno = 0;
  if (header.SaveHeader(temp) <= 0) reason = failure(errno);
  if (reason.empty()) {
    int sync = ::open(temp.c_str(), O_RDONLY);
    if (sync < 0 || ::fsync(sync) != 0) reason = failure(errno);
    if (sync >= 0) ::close(sync);
  }
  if (reason.empty()) {
    auto renamer = renamer_ ? renamer_ : [](const char* from, const char* to) { return std::rename(from, to); };
    errno = 0;
    if (renamer(temp.c_str(), path.c_str()) != 0) reason = failure(errno);
  }
  if (!reason.empty()) ::unlink(temp.c_str());
  return reason;
}

int CArchiveManager::RecordFinishedRun(CJobArchListEntry* job) {
  if (job == nullptr) return -1;
  ArchiveRunStats stats = GetRunStats();
  if (stats.ArchivedCount == 0 || stats.Aborted != 0) return -1;
  std::vector<CArchiveFileListEntry> archived = ArchivedRecordings();
  if (archived.empty()) return -1;
  job->ClearSources();
  for (const auto& entry : archived) job->AddSource(entry);
  auto log = Singleton<CArchiveLogger>::Instance();
  int index = log->AddEntry(*job);
  // The record first: an original is deleted or stripped only once the log
  // that says where its copy is has been written.
  if (!log->Save()) {
    ReportProblem("The archive log " + log->Path() +
                  " cannot be written; no original recording was deleted or changed.");
    return -1;
  }
  std::vector<zel::AuditRecord> records;
  for (const auto& entry : archived) {
    zel::AuditRecord& record = records.emplace_back();
    record.action = "archive";
    record.path = entry.Path();
    record.detail = job->Target();
  }
  std::string error;
  if (!zel::AuditTrail().AppendAll(records, &error)) {
    Singleton<CKlLogger>::Instance()->LogLine("AuditTrail: %s", error.c_str());
  }
  ProcessSourceRecordings(job);
  return index;
}
