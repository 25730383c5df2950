#pragma once
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

// Opening files that must be plain files: a FIFO, device or folder under a
// recording's or a data file's name would otherwise block the reader forever or
// feed it without end. Every reader of recordings and data files opens through here.
namespace zel {

// Data files larger than this are refused rather than read whole.
constexpr uint64_t kMaxDataFileSize = 64ull << 20;

// Opens `path` (relative to `dirFd` when given) with `flags` only when it is a
// regular file; -1 otherwise, with errno EISDIR for a folder and EINVAL for
// another file that is not regular.
// Never blocks on a FIFO.
int OpenRegularFile(const std::string& path, int flags = O_RDONLY, int dirFd = AT_FDCWD);
// For a name a folder listing has just shown as a regular file (readdir's d_type):
// opens it for reading without looking first, then makes sure of the open file, whose
// status lands in `st`. The listing is the look before opening; the open itself never
// blocks on a FIFO put there meanwhile. The descriptor stays non-blocking, which
// reading a regular file ignores. -1 as for OpenRegularFile.
int OpenListedFile(const char* name, int dirFd, struct stat& st);
// The same for stdio; `mode` "rb" or "r+b".
FILE* OpenRegularStream(const std::string& path, const char* mode);

// A folder in a data file's place is Unreadable: it is nobody's damaged data file
// to move aside, and writing there fails as it should.
enum class DataFileRead { Ok, Missing, Unreadable, NotRegular, TooLarge };

// Reads a whole data file of at most `limit` bytes.
DataFileRead ReadDataFile(const std::string& path, std::string& content,
                          uint64_t limit = kMaxDataFileSize);
// A short reason for a failed read ("it is not a regular file", ...).
std::string DataFileReadText(DataFileRead result);

}  // namespace zel
