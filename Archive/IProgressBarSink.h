#pragma once

class CJobArchListEntry;

// How an archive run reports. All three are called on the archive manager's
// thread, while the manager holds its lock: an implementation must not call
// CArchiveManager::ClearJobs, ClearSelected, Cancel or Start from them.
class IProgressBarSink {
 public:
  virtual ~IProgressBarSink();
  virtual void OnProgress(int percent) = 0;
  virtual void OnStarted() = 0;
  // Called once per run, also after a cancel or when nothing was archived. `job`
  // is the manager's current job (the last one run); it stays valid during the call.
  virtual void OnFinished(CJobArchListEntry* job) = 0;
};
