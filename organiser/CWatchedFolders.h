#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// What a watcher of the file system (inotify in the running program) tells the
// catalogue: the folders it watches and where something changed. A folder's own
// change time tells of files added, removed or renamed, but not of a file written
// in place; a folder watched without a gap since the catalogue last looked at all
// its files, with nothing reported since, need not have its files looked at again.
// Only folders on local file systems are taken: a share tells nothing of changes
// made by other machines.
class CWatchedFolders {
 public:
  // The one the running program's watcher feeds; empty in zelctl.
  static CWatchedFolders& Process();

  // False when `folder` cannot be trusted to a watch (a share, or it is missing).
  bool Watch(const std::string& folder);
  void Unwatch(const std::string& folder);
  // Something in `folder` changed: the file `name` in it (written, added or
  // removed), or anything when `name` is empty.
  void Changed(const std::string& folder, const std::string& name = std::string());
  // Every watched folder changed (the watcher lost events).
  void AllChanged();

  // Taken before looking at the files of `folder`: -1 when it is not watched.
  int64_t Token(const std::string& folder) const;
  // The catalogue holds `folder`'s files as they were when Token gave `token`.
  void Verified(const std::string& folder, int64_t token);
  // Watched, and nothing changed since the catalogue last held all its files but
  // the files named in `changed` (which may be null when none is wanted).
  bool Trusted(const std::string& folder, std::vector<std::string>* changed = nullptr) const;

 private:
  struct State {
    int64_t changes = 0;  // the serial of the watch's start or its last change
    int64_t verified = -1;
    std::unordered_set<std::string> names;  // files changed since verified
    bool unnamed = false;                   // something not named changed since
  };
  mutable std::mutex lock_;
  std::unordered_map<std::string, State> folders_;
  int64_t serial_ = 0;
};
