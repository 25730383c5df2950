#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The phrases offered when annotating a call: the lines of "Comments.txt" in the
// shared configuration folder, which an administrator may provide, else the
// built-in ones. The program never writes the file.
namespace zel {

// A larger "Comments.txt" is refused.
constexpr uint64_t kMaxPredefinedCommentsSize = 1u << 20;

// The 16 built-in phrases, in their order.
const std::vector<std::string>& BuiltInComments();
// "Comments.txt" in the shared configuration folder.
std::string PredefinedCommentsPath();
// The phrases of the file at `path`: its non-empty lines in file order (CR LF or LF
// line ends); lines with control characters are no text and left out. A missing
// file or one without any line gives the built-in phrases; a file that exists but
// cannot be read, is no regular file or is too large gives none.
std::vector<std::string> ReadPredefinedComments(const std::string& path);

}  // namespace zel
