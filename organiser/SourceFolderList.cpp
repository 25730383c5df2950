#include "organiser/SourceFolderList.h"

#include <algorithm>

namespace zel {

int AddSourceFolder(std::vector<std::string>& folders, const std::string& folder, bool includeSubfolders) {
  if (!includeSubfolders || folders.empty()) {
    folders.push_back(folder);
    return static_cast<int>(folders.size()) - 1;
  }
  std::vector<size_t> marked;
  for (size_t i = 0; i < folders.size(); ++i) {
    const std::string& old = folders[i];
    if (old.size() < folder.size() && folder.compare(0, old.size(), old) == 0) return -1;
    if (folder.size() <= old.size() && old.compare(0, folder.size(), folder) == 0) marked.push_back(i);
  }
  for (auto it = marked.rbegin(); it != marked.rend(); ++it) folders.erase(folders.begin() + static_cast<long>(*it));
  folders.push_back(folder);
  return marked.empty() ? static_cast<int>(folders.size()) - 1 : 0;
}

void RemoveContainedFolders(std::vector<std::string>& folders) {
  std::vector<bool> drop(folders.size(), false);
  for (size_t i = 0; i < folders.size(); ++i) {
    for (size_t j = 0; j < folders.size(); ++j) {
      if (i != j && folders[i].find(folders[j]) != std::string::npos) {
        // Of two equal lines only one goes.
        if (folders[i] == folders[j] && (drop[j] || i < j)) continue;
        drop[i] = true;
        break;
      }
    }
  }
  std::vector<std::string> kept;
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!drop[i]) kept.push_back(folders[i]);
  }
  folders = std::move(kept);
}

int SpinMinutes(int minutes, int step) { return std::clamp(minutes + step, 0, 300); }

}  // namespace zel
