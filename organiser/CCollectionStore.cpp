#include "organiser/CCollectionStore.h"

#include "core/CKlXMLSettings.h"
#include "core/CSettings.h"

CCollectionStore::CCollectionStore(Traits traits) : traits_(std::move(traits)), lock_(traits_.lockName) {}

CCollectionStore::~CCollectionStore() = default;

std::string CCollectionStore::FilePath() const { return CSettings::SettingsFilePath(true, traits_.fileName); }

void CCollectionStore::LoadDefaults() {
  entries_.clear();
  for (const CollectionEntry& entry : traits_.defaults) entries_.push_back(std::make_unique<CollectionEntry>(entry));
}

void CCollectionStore::Load() {
  ZEL_LOCK(lock_);
  searching_ = false;
  // The XML store holds one document at a time; this sequence finishes before
  // anyone else loads.
  auto& xml = *Singleton<CKlXMLSettings>::Instance();
  std::string rootName, version;
  // A damaged file is moved aside first, so a later save of the defaults keeps it.
  if (!xml.Load(FilePath(), rootName, version, true)) {
    LoadDefaults();
    return;
  }
  entries_.clear();
  for (auto* element = xml.FirstChild(traits_.elementName, xml.Root()); element;
       element = xml.NextSibling(traits_.elementName, element)) {
    CollectionEntry entry;
    xml.GetIntAttribute(0, element, "ID", entry.id);
    if (Exists(entry.id)) continue;
    xml.GetIntText(xml.FirstChild("ParentID", element), 0, entry.parentId);
    xml.GetText("", xml.FirstChild("Name", element), entry.name);
    xml.GetText("", xml.FirstChild("Target", element), entry.target);
    xml.GetIntText(xml.FirstChild("IsGroup", element), 0, entry.isGroup);
    entries_.push_back(std::make_unique<CollectionEntry>(std::move(entry)));
  }
}

bool CCollectionStore::Save() {
  if (entries_.empty()) return true;
  auto& xml = *Singleton<CKlXMLSettings>::Instance();
  auto* root = xml.Create(FilePath(), "profile", "1");
  if (!root) return false;
  for (const auto& entry : entries_) {
    auto* element = xml.AddElement(root, traits_.elementName);
    xml.SetIntAttribute(element, "ID", entry->id);
    xml.AddIntText(xml.AddElement(element, "ParentID"), entry->parentId);
    xml.AddText(xml.AddElement(element, "Name"), entry->name);
    xml.AddText(xml.AddElement(element, "Target"), entry->target);
    xml.AddIntText(xml.AddElement(element, "IsGroup"), entry->isGroup);
  }
  return xml.Save();
}

int CCollectionStore::NextId() const {
  int next = -1;
  for (const auto& entry : entries_) {
    if (entry->id >= next) next = entry->id + 1;
  }
  return next;
}

bool CCollectionStore::Exists(int id) const {
  for (const auto& entry : entries_) {
    if (entry->id == id) return true;
  }
  return false;
}

bool CCollectionStore::Add(const CollectionEntry& entry) {
  if (Exists(entry.id)) return false;
  entries_.push_back(std::make_unique<CollectionEntry>(entry));
  return true;
}

bool CCollectionStore::Remove(int id) {
  ZEL_LOCK(lock_);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i]->id == id) {
      entries_.erase(entries_.begin() + static_cast<long>(i));
      // A running FindNext continues with the entry that followed the hit.
      if (searching_ && next_ > i) --next_;
      return true;
    }
  }
  return false;
}

CollectionEntry* CCollectionStore::GetEntry(int id) {
  ZEL_LOCK(lock_);
  for (const auto& entry : entries_) {
    if (entry->id == id) return entry.get();
  }
  return nullptr;
}

bool CCollectionStore::CopyEntry(int id, CollectionEntry& out) {
  ZEL_LOCK(lock_);
  for (const auto& entry : entries_) {
    if (entry->id == id) {
      out = *entry;
      return true;
    }
  }
  return false;
}

bool CCollectionStore::HasChildren(int id) const {
  for (const auto& entry : entries_) {
    if (entry->parentId == id) return true;
  }
  return false;
}

bool CCollectionStore::HasChildGroup(int id) const {
  for (const auto& entry : entries_) {
    if (entry->parentId == id && entry->isGroup) return true;
  }
  return false;
}

CollectionEntry* CCollectionStore::FindFrom(size_t start, int value, int byParent) {
  if (byParent == 0 || byParent == 1) {
    for (size_t i = start; i < entries_.size(); ++i) {
      int key = byParent ? entries_[i]->parentId : entries_[i]->id;
      if (key == value) {
        searching_ = true;
        next_ = i + 1;
        return entries_[i].get();
      }
    }
  }
  searching_ = false;
  return nullptr;
}

CollectionEntry* CCollectionStore::FindFirst(int value, int byParent) {
  ZEL_LOCK(lock_);
  return FindFrom(0, value, byParent);
}

CollectionEntry* CCollectionStore::FindNext(int value, int byParent) {
  ZEL_LOCK(lock_);
  if (!searching_) return nullptr;
  return FindFrom(next_, value, byParent);
}
