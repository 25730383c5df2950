#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "Archive/ArchiveRunStats.h"
#include "Archive/CArchiveFileListEntry.h"
#include "Archive/CArchiverHolder.h"
#include "Archive/CJobArchListEntry.h"
#include "Archive/IProgressBarSink.h"
#include "Archive/SourceRecordingOutcome.h"
#include "core/CKlLoggedSemaphore.h"
#include "core/CKlThread.h"
#include "core/FileLock.h"
#include "core/MessageSink.h"
#include "core/Singleton.h"
#include "core/ThreadAnnotations.h"

// Runs archive jobs on its worker thread ("Archive Manager"): walks each job's
// sources, selects recordings, hands them to the job's archiver with a target
// sub-folder, lets the archiver write, and reports to the progress sink.
//
// Use: AddJob once per job, Start, then wait for the sink's OnFinished (or poll
// GetRunStats and IsRunning). On OnFinished, RecordFinishedRun logs the run and
// post-processes the archived source recordings, as the scheduled job does.
// The worker holds the "ARCHIVE_MANAGER" lock for the whole run; ClearJobs and
// ClearSelected stop a running worker first and then take it.
class CArchiveManager : public CKlThread {
 public:
  CArchiveManager();
  ~CArchiveManager() override;

  // Queues a copy of `job` and makes `sink` (not owned, may be null; must outlive
  // the run) the sink of the coming run. Returns the job's queue index.
  int AddJob(const CJobArchListEntry& job, IProgressBarSink* sink);
  // Replaces the sink (null: none), e.g. when a sink goes away before the run ends.
  void SetSink(IProgressBarSink* sink) { sink_.store(sink); }
  // Zeroes the statistics and starts the worker (a previous one is stopped first).
  // With deleteJobsAfterRun the queue is emptied when the run ends.
  void Start(bool deleteJobsAfterRun);
  // Stops a running worker: cancels the archiver, marks the run aborted and waits
  // for the worker to end. Must not be called from the sink.
  void Cancel();
  ArchiveRunStats GetRunStats() const;
  // Every failure of the run (since Start) that was told to the user, in order.
  std::vector<std::string> RunProblems() const;

  // Copies of the recordings selected by the last run (handed to the archiver),
  // optionally followed by ClearSelected.
  void CopySelected(std::vector<CArchiveFileListEntry>& list, bool clearAfter);
  // The recordings of the last run that are in the archive: selected and not
  // found missing after the write.
  std::vector<CArchiveFileListEntry> ArchivedRecordings() const;
  void ClearSelected();
  void ClearJobs();
  int JobCount() const;
  // A copy of the queued job at `index`; false when there is none.
  bool GetJob(int index, CJobArchListEntry& out) const;

  // Deletes the archived source recordings of the current job (media processing
  // 1) or replaces each by its header alone (2). Only recordings the last run
  // actually archived are touched. `job` is ignored: the work is always done on
  // the current job (the job of the last run); nothing happens without one.
  // Each file that cannot be deleted or stripped is logged and told to the user
  // (a run problem). Returns the number of such files.
  int ProcessSourceRecordings(CJobArchListEntry* job = nullptr);
  // One outcome per source of the current job, from the last
  // ProcessSourceRecordings (empty before it ran).
  std::vector<SourceRecordingOutcome> SourceOutcomes() const;
  // What the scheduled job does when a run finished: unless the run was aborted
  // or archived nothing, replaces the job's sources by the archived recordings,
  // adds the job to the archive log, processes the source recordings and saves
  // the log. Returns the new log index, or -1 when nothing was logged. Safe to
  // call from OnFinished.
  int RecordFinishedRun(CJobArchListEntry* job);

  void SetPathPrefix(const std::string& prefix);
  int FindLogIndexByFile(const CKlFileListEntry& entry);
  int FindLogIndexByPath(const std::string& path);

  // Test seams: the archiver factory, the clock (seconds since 1970) and the
  // rename used when removing audio. Set them only while no run is going.
  void SetArchiverFactory(CArchiverHolder::Factory factory) { holder_.SetFactory(std::move(factory)); }
  void SetClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }
  void SetRenamer(std::function<int(const char*, const char*)> renamer) { renamer_ = std::move(renamer); }
  // True when the last run did not start because another run (of any process:
  // CArchiveRunLock) held the run lock.
  bool RunRefusedBusy() const { return runRefusedBusy_.load(); }

  // The sub-folder a recording gets for a structure type; `entry` has the
  // recording's path (its details are loaded for "By Month" when needed).
  static std::string SubFolderFor(CKlFileListEntry& entry, zel::StructureType structureType,
                                  const std::string& passphrase);
  // "Jan 2011" .. "Dec 2011" for a time, in local time.
  static std::string MonthFolderName(int64_t time);

 protected:
  unsigned Run() override;

 private:
  // Creates the archive's folder (DISK) or the folder of its file with its
  // parents; false with the reason when it cannot be made.
  static bool MakeArchiveFolder(const CJobArchListEntry& job, std::string& reason);
  void ReportUnwritable(const std::string& target, const std::string& reason, bool shown = false);
  // Logs `text`, shows it through the message sink (unless the user has seen it
  // already) and keeps it as a run problem.
  void ReportProblem(const std::string& text, IMessageSink::Icon icon = IMessageSink::Icon::Error,
                     bool shown = false);
  int Prepare(CJobArchListEntry& job);
  void CollectAndArchive(CJobArchListEntry& job);
  void Walk(const std::string& path, const CKlFileListEntry& source, CJobArchListEntry& job, bool top);
  void Candidate(const std::string& path, const struct stat& info, const CKlFileListEntry& source,
                 CJobArchListEntry& job);
  // Clears the archived mark of the recordings from `first` on that the archive
  // does not hold after the write; returns how many it holds.
  int32_t ConfirmArchived(size_t first, int writeResult);
  // Empty on success (or when the header cannot be read: `kept` is then set),
  // else why the audio could not be removed.
  std::string RemoveAudio(const std::string& path, const std::string& passphrase, bool& kept);
  void ZeroStats();
  void StopWorker();
  int64_t Now() const;
  std::string Passphrase() const;

  CKlLoggedSemaphore lock_{"ARCHIVE_MANAGER"};
  // The queue's structure; jobs themselves are stable.
  mutable zel::Mutex jobsMutex_ ACQUIRED_AFTER(lock_);
  std::vector<std::unique_ptr<CJobArchListEntry>> jobs_ GUARDED_BY(jobsMutex_);
  mutable zel::Mutex selectedMutex_ ACQUIRED_AFTER(lock_);
  std::vector<CArchiveFileListEntry> selected_ GUARDED_BY(selectedMutex_);
  std::atomic<int32_t> aborted_{0};
  std::atomic<int32_t> archivedCount_{0};
  std::atomic<int32_t> selectedCount_{0};
  std::atomic<double> progress_{0.0};
  mutable zel::Mutex problemsMutex_ ACQUIRED_AFTER(lock_);
  std::vector<std::string> problems_ GUARDED_BY(problemsMutex_);
  mutable zel::Mutex outcomesMutex_ ACQUIRED_AFTER(lock_);
  std::vector<SourceRecordingOutcome> outcomes_ GUARDED_BY(outcomesMutex_);
  std::atomic<CJobArchListEntry*> currentJob_{nullptr};
  CArchiverHolder holder_;
  std::atomic<IProgressBarSink*> sink_{nullptr};
  std::atomic<bool> deleteJobsAfterRun_{true};
  std::string pathPrefix_;
  std::function<int64_t()> clock_;
  std::function<int(const char*, const char*)> renamer_;
  std::atomic<bool> runRefusedBusy_{false};
  std::unique_ptr<zel::FileLock> targetLock_;  // the archive being written
  int32_t jobArchived_ = 0;  // recordings the current job's archive holds
  int32_t jobRefused_ = 0;   // recordings the current job's archiver refused
};
