#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

class CKlFileListEntry;

namespace zel {

// The entries of a list by path, for the one-entry-per-path rule and the lookups
// of the windows. An open-addressed table of pointers (linear probing): 11 to 21
// bytes an entry, where a tree of nodes took 64, which counts in a list of a
// million calls. The entries' paths must not change while they are in it.
class EntryPathIndex {
 public:
  CKlFileListEntry* Find(std::string_view path) const;
  // False, and nothing added, when an entry with the same path is in already.
  bool Insert(CKlFileListEntry* entry);
  void Erase(std::string_view path);
  void Clear();
  size_t Count() const { return count_; }

 private:
  size_t Home(std::string_view path) const;
  void Grow();

  std::vector<CKlFileListEntry*> slots_;  // empty or a power of two long
  size_t count_ = 0;
};

}  // namespace zel
