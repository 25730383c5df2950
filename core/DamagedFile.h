#pragma once
#include <string>

// A data file that exists but cannot be used is never silently replaced by the
// defaults: it is moved aside, beside its old name, and the user is told where.
namespace zel {

// The name beside `path` for a copy set aside at local time `when`:
// "archive.log.damaged-20261208-094100"; without a number for attempt 1, then
// "-2", "-3", ...
std::string DamagedFileName(const std::string& path, long long when, int attempt = 1);

// Moves `path` to a free name from DamagedFileName (an existing file of that name
// is never replaced) and shows a warning through the message sink naming both
// files, `reason` and `outcome`. Returns the new name; empty when the file could
// not be moved (the message says so).
std::string SetAsideDamaged(const std::string& path, const std::string& reason = "it is damaged",
                            const std::string& outcome = "The defaults apply from now on.");

// How many damaged files this process has found (set aside or not): a command that
// met one reports it in its exit status.
int DamagedFilesFound();

// Reads a data file for a loader. True with `content` to parse. False when it is
// missing or cannot be read (left where it is), or when it is not a regular file,
// too large, or empty with `emptyIsDamage`: then it has been set aside.
bool ReadDataFileOrSetAside(const std::string& path, std::string& content, bool emptyIsDamage,
                            const std::string& outcome = "The defaults apply from now on.");

}  // namespace zel
