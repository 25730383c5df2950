#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Archive/ArchiveTypes.h"
#include "Archive/IProgressBarSink.h"
#include "core/CKlLoggedSemaphore.h"
#include "core/CKlThread.h"
#include "core/Singleton.h"

// The user's one scheduled archive job: its settings (kept in "schedule.xml" in
// the shared configuration folder), when it is next due, and its run through the
// archive manager. As the run's sink it records a finished run in the archive log
// and then post-processes the archived recordings.
//
// The thread of the CKlThread base ("Archive Scheduler") is never started. The
// "ARCH_SCHEDULER" lock guards the settings; all methods may be called from any
// thread. Notifications that the desktop program posts to its window (started 0,
// progress 1, finished 2) go to an optional callback.
class CJobArchScheduler : public CKlThread, public IProgressBarSink {
 public:
  struct Settings {
    std::vector<std::string> SpaceFolders;
    bool Enabled = false;
    zel::SelectionType SelectionType = zel::SelectionType::kAll;
    int ScheduleType = 1;
    zel::ArchiveType ArchiveType = zel::ArchiveType::kNone;
    std::string ArchivePath;  // ends in "/"
    std::string ArchiveName = "Diza Didurido Job";
    zel::MediaProcessing MediaProcessing = zel::MediaProcessing::kKeep;
    zel::StructureType ArchStructureType = zel::StructureType::kUnstructured;
    int ThresholdSize = 700;
    bool CancelJob = false;
    int64_t LastJobTime = 0;
    int64_t ScheduledTime = 0;
    int DaysInterval = 1;
    std::string UserName;
    std::string Comment;

    // The size limit's check box and size field: clearing the box sets no limit,
    // checking it needs a size (700 MiB when there was none); a size above 0 checks
    // the box and 0 clears it.
    void SetCancelJob(bool cancel);
    void SetThresholdSize(int mib);
    // Why an enabled schedule could not archive anything (no folder in the
    // archive space, no archive method), in the words told to the user; empty
    // when it can run or is disabled.
    std::string EnabledProblem() const;
  };

  // Settings at their defaults; also makes sure the archive manager exists and the
  // archive log is loaded.
  CJobArchScheduler();
  // The same with the schedule kept in `schedulePath` (tests, tools).
  explicit CJobArchScheduler(std::string schedulePath);
  ~CJobArchScheduler() override;

  // Reads the schedule file; a missing or unreadable file leaves the settings as
  // they are and returns false.
  bool Load();
  // Writes the schedule file atomically; false (old file untouched) on failure.
  bool Save();
  // The text Save writes.
  std::string Serialize();

  // True when the job is due now; then moves ScheduledTime on by DaysInterval
  // days (from today 00:00 local when it was 0). In memory only.
  bool IsDue();
  // When the scheduled-archive timer should fire (runs IsDue first).
  int64_t NextRunTime();
  // The archive's path for a run now: a folder for DISK, a dated file for ZIP/ISO.
  std::string TargetPath();
  // Builds the job from the settings, starts the archive manager with it (this
  // scheduler as its sink; jobs deleted after the run) and saves the settings.
  void RunJob();

  // IProgressBarSink
  void OnProgress(int percent) override;
  void OnStarted() override;
  void OnFinished(CJobArchListEntry* job) override;

  Settings GetSettings();
  void SetSettings(const Settings& settings);
  // Sets one single-valued setting from text by its key name, with the settings
  // page's rules. Returns an empty text, or why the value was refused.
  std::string SetValue(const std::string& key, const std::string& value);
  // Adds a folder to the archive space (false when it is listed already).
  bool AddSpaceFolder(const std::string& folder);
  // Removes a folder from the archive space (false when it was not listed).
  bool RemoveSpaceFolder(const std::string& folder);
  // The archive log index of the last finished run that was logged, or -1.
  int LastLogIndex() const { return LastLogIndex_; }

  void SetClock(std::function<int64_t()> clock) { Clock_ = std::move(clock); }
  void SetNotify(std::function<void(int lParam)> notify) { Notify_ = std::move(notify); }
  const std::string& SchedulePath() const { return Path_; }

  // The documents folder of the user ("/" at the end), created when missing.
  static std::string DefaultArchivePath();

 protected:
  unsigned Run() override { return 0; }

 private:
  int64_t Now() const;
  void Post(int lParam);
  bool IsDueLocked(int64_t now) REQUIRES(Lock_);

  CKlLoggedSemaphore Lock_{"ARCH_SCHEDULER"};
  std::string Path_;
  Settings Settings_ GUARDED_BY(Lock_);
  std::function<int64_t()> Clock_;
  std::function<void(int)> Notify_;
  std::atomic<int> LastLogIndex_{-1};
};
