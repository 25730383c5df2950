#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Checks an archive against the index it carries ("index.csv", see ArchiveIndex):
// every listed file must be there with the SHA-256 the index gives, and every call
// file must be listed. Listed paths never lead out of the archive. Works on the
// three kinds: a folder tree, a ZIP archive and an ISO 9660 image.
namespace zel {

struct ArchiveCheck {
  std::string kind;  // "DISK", "ZIP" or "ISO"
  size_t listed = 0;
  std::vector<std::string> missing;  // paths inside the archive
  std::vector<std::string> changed;
  std::vector<std::string> unlisted;  // call files the index does not list
  // Listed paths not read: absolute, with "..", through a link, not a regular
  // file or too large; each "path: why".
  std::vector<std::string> refused;
  std::string error;  // why the archive or its index could not be read
  bool Intact() const {
    return error.empty() && missing.empty() && changed.empty() && unlisted.empty() && refused.empty();
  }
};

// False, with `check.error` set, when the archive or its index cannot be read;
// true when the check ran (look at missing and changed).
bool VerifyArchive(const std::string& path, ArchiveCheck& check);

}  // namespace zel
