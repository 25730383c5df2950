#pragma once
#include <string>

// Checks shared by every writer of an export, clip or sample file, and the reason
// the last such writer on this thread gave up, for the message the caller shows
// (writers report failure by their return value only).
namespace zel {

// The reason of the last refused or failed write on this thread; empty when none.
const std::string& LastWriteError();
void SetLastWriteError(std::string reason);
void ClearLastWriteError();

// False, with the reason set, when `target` names the file `source` (the same
// inode, also through a link): writing there would replace the recording being read.
bool TargetIsNotSource(const std::string& source, const std::string& target);

// The name a native recording or clip is written under: `path` with ".zel"
// appended unless it already ends in it (in any case), so the reader knows it.
std::string NativeFileName(const std::string& path);

}  // namespace zel
