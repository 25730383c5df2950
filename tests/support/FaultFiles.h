#pragma once
#include <string>
#include <vector>

// Faults planted in place of data files and recordings, shared by the test programs.
namespace zeltest {

// Makes a FIFO at `path` (nobody ever writes to it: a reader that opens it
// blocking hangs). True on success.
bool MakeFifo(const std::string& path);
// The copies set aside beside `path` ("<path>.damaged-..."), sorted.
std::vector<std::string> DamagedCopies(const std::string& path);

}  // namespace zeltest
