#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Archive/IArchiver.h"

// The archiver of the job being run, owned by the archive manager, with what the
// manager needs around it: the progress function handed to every new archiver,
// the archive type and target, and the number of recordings the archiver accepted.
// Create, Add, Archiver and Release are used by the manager's thread; Cancel may
// come from any thread.
class CArchiverHolder {
 public:
  // Makes the archiver for an archive type; null for a type it does not know.
  using Factory = std::function<std::unique_ptr<IArchiver>(zel::ArchiveType type, IArchiver::ProgressFunction)>;

  explicit CArchiverHolder(IArchiver::ProgressFunction progress);
  ~CArchiverHolder();
  CArchiverHolder(const CArchiverHolder&) = delete;
  CArchiverHolder& operator=(const CArchiverHolder&) = delete;

  // Replaces the factory (tests); an empty function restores the built-in archivers.
  void SetFactory(Factory factory);

  // Replaces the archiver by a new one for `type` writing to `target`. Returns 0,
  // -100 for a type other than 1, 2 or 3, -1 when the archiver could not be made.
  int Create(zel::ArchiveType type, const std::string& target);
  // Hands one recording to the archiver. The sub-folder loses a leading `prefix`
  // when it begins with it at a folder boundary and something remains. Returns
  // the archiver's result, -1 without an archiver.
  int Add(const std::string& path, const std::string& subFolder, const std::string& prefix,
          int64_t callTime);
  // The current archiver or null; only for the manager's thread.
  IArchiver* Archiver() { return Archiver_.get(); }
  // Deletes the archiver (waiting for a Cancel in progress on another thread).
  void Release();
  // Asks the current archiver, if any, to stop. Thread-safe.
  void Cancel();

  zel::ArchiveType Type() const { return Type_; }
  const std::string& TargetPath() const { return TargetPath_; }
  int AcceptedCount() const { return Accepted_; }

  // The sub-folder after the prefix rule of Add.
  static std::string ApplyPrefix(const std::string& subFolder, const std::string& prefix);

 private:
  IArchiver::ProgressFunction Progress_;
  Factory Factory_;
  std::mutex archiverMutex_;  // guards replacing the archiver against Cancel
  std::unique_ptr<IArchiver> Archiver_;
  zel::ArchiveType Type_ = zel::ArchiveType::kNone;
  int Accepted_ = 0;
  std::string TargetPath_;
};
