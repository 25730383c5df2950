#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/CKlLoggedSemaphore.h"

// One entry of a collection tree: a group or a link, naming its parent by id.
struct CollectionEntry {
  int id = 0;
  int parentId = -1;    // -1 for a top-level entry
  std::string name;     // label shown in the tree
  std::string target;   // link: recording file or source folder; empty for a group
  int isGroup = 0;
};

// The common store behind the Calls for Review (CHotLists) and the Shortcuts
// (CShortCuts): a flat list of entries kept in an XML file of the shared
// configuration folder. Used from the user-interface thread; Load, GetEntry,
// CopyEntry, FindFirst and FindNext take the store's lock.
class CCollectionStore {
 public:
  struct Traits {
    const char* fileName;      // "hotlist.xml"
    const char* elementName;   // "hotlist"
    const char* lockName;      // "HOTLISTS"
    const char* newGroupLabel; // "New Hotlist"
    std::vector<CollectionEntry> defaults;
  };

  explicit CCollectionStore(Traits traits);
  virtual ~CCollectionStore();
  CCollectionStore(const CCollectionStore&) = delete;
  CCollectionStore& operator=(const CCollectionStore&) = delete;

  // Replaces the entries with the file's; a missing or broken file gives the
  // default content, a broken one after it was set aside (zel::SetAsideDamaged). Elements with an id already loaded are skipped.
  void Load();
  // Writes the entries (atomically); an empty store writes nothing. False when
  // the file cannot be written.
  bool Save();

  // One more than the largest id; -1 for an empty store.
  int NextId() const;
  bool Exists(int id) const;
  // Appends a copy unless the id is taken (then false).
  bool Add(const CollectionEntry& entry);
  // Deletes the first entry with `id` (children stay); false when there is none.
  bool Remove(int id);
  // The entry, or null; valid until the entry is removed or the store reloaded.
  CollectionEntry* GetEntry(int id);
  bool CopyEntry(int id, CollectionEntry& out);
  bool HasChildren(int id) const;
  bool HasChildGroup(int id) const;
  // Iterate the entries whose id (byParent 0) or parentId (byParent 1) is `value`;
  // null at the end. Other byParent values match nothing.
  CollectionEntry* FindFirst(int value, int byParent);
  CollectionEntry* FindNext(int value, int byParent);

  size_t Count() const { return entries_.size(); }
  const std::vector<std::unique_ptr<CollectionEntry>>& Entries() const { return entries_; }
  const Traits& GetTraits() const { return traits_; }
  std::string FilePath() const;

 private:
  CollectionEntry* FindFrom(size_t start, int value, int byParent) REQUIRES(lock_);
  void LoadDefaults();

  Traits traits_;
  CKlLoggedSemaphore lock_;
  std::vector<std::unique_ptr<CollectionEntry>> entries_;
  // The position after the last FindFirst/FindNext hit; none after a miss.
  bool searching_ GUARDED_BY(lock_) = false;
  size_t next_ GUARDED_BY(lock_) = 0;
};
