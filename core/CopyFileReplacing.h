#pragma once
#include <cstdint>
#include <string>

namespace zel {

// Copies `source` to `target`: written to a temporary file beside it and
// renamed over it once complete, so the name holds the old file or the whole
// copy at every moment. The copy gets the source's permission
// bits less the umask; its modification time becomes `mtime` when that is not 0 and
// the source's otherwise. Returns false (with errno describing the failure) when
// the copy could not be made; the target is then untouched. `copied` (optional)
// receives the number of bytes copied.
bool CopyFileReplacing(const std::string& source, const std::string& target, int64_t mtime,
                       uint64_t* copied = nullptr);

}  // namespace zel
