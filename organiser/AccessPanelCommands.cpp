#include "organiser/AccessPanelCommands.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "core/CopyFileReplacing.h"
#include "core/MessageSink.h"
#include "organiser/CCollectionStore.h"
#include "organiser/SearchRules.h"

namespace zel {

namespace {
std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasZelExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return ::strcasecmp(path.c_str() + dot, ".zel") == 0;
}
}  // namespace

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ContainingFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* item = ::readdir(dir)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    if (IsFolder(Join(folder, name))) names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const auto& name : names) paths.push_back(Join(folder, name));
  return paths;
}

int AddSubfolderShortcuts(CCollectionStore& store, int parentId, const std::string& folder) {
  int added = 0;
  for (const std::string& path : Subfolders(folder)) {
    CollectionEntry entry;
    entry.id = std::max(store.NextId(), 0);
    entry.parentId = parentId;
    entry.name = path.substr(path.find_last_of('/') + 1);
    entry.target = path;
    entry.isGroup = 0;
    if (store.Add(entry)) ++added;
  }
  return added;
}

int CopyRecordingsToFolder(const std::vector<std::string>& files, const std::string& folder) {
  std::string question = "Are you sure want to copy recordings(s) to " + folder + "?\n" +
                         std::to_string(files.size()) + " recordings";
  if (MessageSink()->AskYesNo(question, "Zel Velomar") != IMessageSink::Answer::Yes) return -1;
  int copied = 0;
  for (const std::string& file : files) {
    if (!IsRegularFile(file) || !HasZelExtension(file)) continue;
    const std::string target = Join(folder, FileNameStem(file) + ".zel");
    if (CopyFileReplacing(file, target, 0)) {
      ++copied;
    } else {
      ShowMessage("Could not copy file " + file + " to " + target, IMessageSink::Icon::Error);
    }
  }
  return copied;
}

std::vector<std::string> SelectedTargets(CCollectionStore& store, ICollectionTree& tree,
                                         const std::vector<ICollectionTree::Item>& selected) {
  std::vector<std::string> targets;
  std::set<std::string> seen;
  auto take = [&](ICollectionTree::Item item) {
    CollectionEntry entry;
    if (!store.CopyEntry(tree.EntryId(item), entry) || entry.isGroup || entry.target.empty()) return;
    if (seen.insert(entry.target).second) targets.push_back(entry.target);
  };
  for (auto item : selected) {
    CollectionEntry entry;
    if (!store.CopyEntry(tree.EntryId(item), entry)) continue;
    if (!entry.isGroup) {
      take(item);
      continue;
    }
    for (auto child = tree.FirstChild(item); child; child = tree.NextSibling(child)) take(child);
  }
  return targets;
}

}  // namespace zel
