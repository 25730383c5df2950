#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <sys/types.h>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "core/Singleton.h"

// The legal holds: calls that nothing may delete, trim or strip, kept in
// "hold.xml" in the shared configuration folder. A hold names one call (its path)
// or every call of a caller id, with a reason, who set it and when. Each question
// reads the file again when it changed, so a hold set by another process counts at
// once; changes are made under the file's lock on the file's current content.
// A damaged list is set aside like other data files; the process that found it
// then keeps every call. Reached as Singleton<CLegalHolds>::Instance(); safe from
// any thread.
class CLegalHolds {
 public:
  enum class Kind { kCall, kCaller };
  struct Hold {
    Kind kind = Kind::kCall;
    std::string target;  // the call's absolute path, or the caller id
    std::string reason;
    std::string who;
    int64_t when = 0;    // seconds since 1970
  };

  CLegalHolds();
  // Holds kept in `path` instead of the configuration folder (tests, tools).
  explicit CLegalHolds(std::string path);

  // The hold that keeps the call at `path`, if any. The caller id is read from the
  // recording's header when a caller hold exists and `callerId` is not given.
  std::optional<Hold> HoldFor(const std::string& path, const std::optional<std::string>& callerId = std::nullopt);
  std::vector<Hold> Holds();
  // Adds a hold (who and when filled in when empty; a call's path made absolute).
  // False with `error` when it exists already or the file cannot be written.
  bool Add(Hold hold, std::string& error);
  // Releases the hold of that kind and target; the released hold in `released`.
  bool Remove(Kind kind, const std::string& target, Hold& released, std::string& error);
  // Add and Remove with their line in the audit trail ("hold set", "hold release"),
  // for the windows and zelctl alike; `why` is the reason given for the release.
  bool Place(Hold hold, std::string& error);
  bool Release(Kind kind, const std::string& target, const std::string& why, std::string& error);
  // Every hold that names the call at `path` itself or its caller `callerId`: what a
  // release may lift.
  std::vector<Hold> HoldsOn(const std::string& path, const std::string& callerId);

  // "on legal hold since <date> by <who>: <reason>", for refusals.
  static std::string Describe(const Hold& hold);
  static const char* KindName(Kind kind) { return kind == Kind::kCall ? "call" : "caller"; }
  const std::string& Path() const { return path_; }

 private:
  // Reads the file when it changed since the last read; under mutex_.
  void Refresh();
  bool Write(const std::vector<Hold>& holds, std::string& error);

  std::mutex mutex_;
  std::string path_;
  std::vector<Hold> holds_;
  int64_t stamp_ = -1;  // modification time (ns) and size of the file read last
  int64_t size_ = -1;
  bool damaged_ = false;  // a damaged list was set aside in this process
  std::map<std::pair<dev_t, ino_t>, size_t> identities_;  // held calls' files -> index in holds_
};
