#pragma once
#include <sys/stat.h>
#include <sys/time.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Archive/IArchiver.h"
#include "Archive/IProgressBarSink.h"
#include "Archive/CJobArchListEntry.h"
#include "core/MessageSink.h"

namespace archtest {

// What a FakeArchiver saw and how it behaves; shared with the test.
struct FakeState {
  struct Added {
    std::string archivePath, sourcePath, subFolder;
    int64_t callTime;
  };
  std::mutex mutex;
  std::vector<Added> added;
  std::atomic<int> archiveCalls{0};
  std::atomic<int> cancelCalls{0};
  std::atomic<int> created{0};
  int thresholdSeen = -1;
  int writeLimit = -1;                 // how many recordings Archive() takes; -1 all
  std::function<void()> onAdd;         // runs inside AddFile
};

class FakeArchiver : public IArchiver {
 public:
  FakeArchiver(std::shared_ptr<FakeState> state, zel::ArchiveType type) : state_(std::move(state)), type_(type) {
    state_->created++;
  }
  int Archive() override {
    state_->archiveCalls++;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->thresholdSeen = GetThreshold();
    int count = static_cast<int>(queued_);
    archivedCount_ = state_->writeLimit >= 0 && state_->writeLimit < count ? state_->writeLimit : count;
    return 0;
  }
  int Cancel() override {
    state_->cancelCalls++;
    RequestCancel();
    return 0;
  }
  int AddFile(const std::string& archivePath, const std::string& sourcePath, const std::string& subFolder,
              int64_t callTime) override {
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->added.push_back({archivePath, sourcePath, subFolder, callTime});
      state_->thresholdSeen = GetThreshold();
    }
    ++queued_;
    if (state_->onAdd) state_->onAdd();
    return 0;
  }
  zel::ArchiveType GetType() override { return type_; }
  int GetSizeMB() override { return 0; }

 private:
  std::shared_ptr<FakeState> state_;
  zel::ArchiveType type_;
  size_t queued_ = 0;
};

// Records the sink calls of a run.
class RecordingSink : public IProgressBarSink {
 public:
  void OnProgress(int) override { progress++; }
  void OnStarted() override { started++; }
  void OnFinished(CJobArchListEntry* job) override {
    if (onFinished) onFinished(job);
    if (job != nullptr) lastJob = *job;
    finished++;
  }
  std::atomic<int> progress{0}, started{0}, finished{0};
  CJobArchListEntry lastJob;
  std::function<void(CJobArchListEntry*)> onFinished;
};

// Collects the messages that would be message boxes.
class CollectingMessages : public IMessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string&, Icon) override {
    std::lock_guard<std::mutex> lock(mutex);
    texts.push_back(text);
  }
  Answer AskYesNo(const std::string&, const std::string&) override { return Answer::No; }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex);
    return texts;
  }
  std::mutex mutex;
  std::vector<std::string> texts;
};

// Installs a CollectingMessages sink for the lifetime of the object.
struct ScopedMessages {
  ScopedMessages() : sink(std::make_shared<CollectingMessages>()) { zel::SetMessageSink(sink); }
  ~ScopedMessages() { zel::SetMessageSink(nullptr); }
  std::shared_ptr<CollectingMessages> sink;
};

// Writes a recording: a header (start time, user, comment) and `audioBytes` of audio.
void MakeRecording(const std::string& path, int32_t startTime, size_t audioBytes = 800,
                   const std::string& comment = "");
// Sets a file's modification time.
void SetMtime(const std::string& path, int64_t time);
// Creates the folders of `path` (like mkdir -p).
void MakeDirs(const std::string& path);
int64_t FileSizeOf(const std::string& path);
// UTC seconds of a calendar date.
int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Forks `count` processes that are released together and run `child(index)`;
// its result becomes the exit code. Returns the exit codes, -1 for a process
// that did not exit normally.
std::vector<int> RunProcessesAtOnce(int count, const std::function<int(int)>& child);

// Empties the process-wide archive log and its file. The log keeps the path of
// the sandbox it was made in, so its folder is made again for the saves.
void ResetProcessLog();

}  // namespace archtest
