#include "organiser/CWatchedFolders.h"

#include <sys/vfs.h>

namespace {

// File systems where every change is made through this kernel, so inotify tells
// of all of them; network and FUSE file systems are left out.
bool LocalFileSystem(const std::string& folder) {
  struct statfs fs;
  if (::statfs(folder.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
    case 0x2FC12FC1:  // zfs
    case 0x794C7630:  // overlayfs
      return true;
    default:
      return false;
  }
}

}  // namespace

CWatchedFolders& CWatchedFolders::Process() {
  static CWatchedFolders folders;
  return folders;
}

bool CWatchedFolders::Watch(const std::string& folder) {
  if (!LocalFileSystem(folder)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  // Already watched: the watch went on without a gap.
  if (!folders_.count(folder)) folders_[folder].changes = ++serial_;
  return true;
}

void CWatchedFolders::Unwatch(const std::string& folder) {
  std::lock_guard<std::mutex> hold(lock_);
  folders_.erase(folder);
}

void CWatchedFolders::Changed(const std::string& folder, const std::string& name) {
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = folders_.find(folder);
  if (it == folders_.end()) return;
  it->second.changes = ++serial_;
  // Past a few hundred names, looking at every file costs no more.
  if (name.empty() || it->second.names.size() >= 256) it->second.unnamed = true;
  else it->second.names.insert(name);
}

void CWatchedFolders::AllChanged() {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& [folder, state] : folders_) {
    state.changes = ++serial_;
    state.unnamed = true;
  }
}

int64_t CWatchedFolders::Token(const std::string& folder) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = folders_.find(folder);
  return it == folders_.end() ? -1 : it->second.changes;
}

void CWatchedFolders::Verified(const std::string& folder, int64_t token) {
  std::lock_guard<std::mutex> hold(lock_);
  // A change reported after the token was taken may not have been seen.
  if (auto it = folders_.find(folder); it != folders_.end() && it->second.changes == token) {
    it->second.verified = token;
    it->second.names.clear();
    it->second.unnamed = false;
  }
}

bool CWatchedFolders::Trusted(const std::string& folder, std::vector<std::string>* changed) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto it = folders_.find(folder);
  if (it == folders_.end() || it->second.verified < 0) return false;
  const State& state = it->second;
  if (state.verified == state.changes) return true;
  if (!changed || state.unnamed) return false;
  changed->assign(state.names.begin(), state.names.end());
  return true;
}
