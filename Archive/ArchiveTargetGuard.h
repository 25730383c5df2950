#pragma once
#include <string>
#include <vector>

namespace zel {

// Why an archive written to `target` would overwrite or delete the calls it
// archives: the target is a source, the same file as one, or lies inside a
// source folder (`.`, `..` and links resolved). Empty when it is safe. A run
// with media processing would otherwise copy each call over itself and then
// delete or strip the only copy.
std::string ArchiveTargetConflict(const std::string& target, const std::vector<std::string>& sources);

}  // namespace zel
