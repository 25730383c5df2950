#pragma once
#include <string>
#include <vector>

#include "organiser/ICollectionTree.h"

class CCollectionStore;

// The file-system work behind the access panel's trees, so that the windows only
// forward to it. Messages go through zel::ShowMessage and the message sink.
namespace zel {

// The direct subfolders of `folder` (full paths, sorted by name); plain files and
// the "." and ".." entries are skipped. Empty when the folder cannot be read.
std::vector<std::string> Subfolders(const std::string& folder);

// Adds one shortcut per direct subfolder of `folder` under the group `parentId`:
// named after the subfolder, its target the subfolder's path. Returns the number
// added.
int AddSubfolderShortcuts(CCollectionStore& store, int parentId, const std::string& folder);

// Dropping recordings on a folder: asks "Are you sure want to copy recordings(s)
// to %s?\n%d recordings" and on Yes copies every dropped file that exists and ends
// in ".zel" (any case) to "<folder>/<name>.zel", replacing an older copy. A failed
// copy shows "Could not copy file %s to %s" and the next file is tried. Returns
// the number copied; -1 when the user said No.
int CopyRecordingsToFolder(const std::vector<std::string>& files, const std::string& folder);

// The targets that a list is built from: a selected link gives its own, a selected
// group the non-empty targets of its direct link children (not of its subgroups).
// In selection order; a target appears once.
std::vector<std::string> SelectedTargets(CCollectionStore& store, ICollectionTree& tree,
                                         const std::vector<ICollectionTree::Item>& selected);

// The folder that holds `path` (the text before its last "/"); "/" for a file in
// the root and empty for a bare name.
std::string ContainingFolder(const std::string& path);

// True when `path` names an existing folder.
bool IsFolder(const std::string& path);

}  // namespace zel
