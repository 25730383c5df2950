#pragma once
#include <string>
#include <vector>

// The source list of the "Create Recording List" dialog, without the dialog.
namespace zel {

// "Add...": appends `folder` and returns the index to select. With subfolders, a
// line that is a shorter text prefix of `folder` covers it (nothing is added, -1
// returned) and lines that `folder` is a text prefix of are replaced by it (then
// 0 is the index to select). Comparisons are plain case-sensitive text prefixes.
int AddSourceFolder(std::vector<std::string>& folders, const std::string& folder, bool includeSubfolders);
// Ticking "Include Sub-directories": removes every line that contains another
// line's text anywhere in it.
void RemoveContainedFolders(std::vector<std::string>& folders);
// The minutes spin: one step within 0..300.
int SpinMinutes(int minutes, int step);

}  // namespace zel
