#include "organiser/EntryPathIndex.h"

#include <functional>

#include "recording/CKlFileListEntry.h"

namespace zel {

size_t EntryPathIndex::Home(std::string_view path) const {
  return std::hash<std::string_view>()(path) & (slots_.size() - 1);
}

CKlFileListEntry* EntryPathIndex::Find(std::string_view path) const {
  if (slots_.empty()) return nullptr;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Home(path); slots_[i] != nullptr; i = (i + 1) & mask) {
    if (slots_[i]->Path() == path) return slots_[i];
  }
  return nullptr;
}

bool EntryPathIndex::Insert(CKlFileListEntry* entry) {
  // At most three quarters full, so a probe stays short.
  if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
  const size_t mask = slots_.size() - 1;
  size_t i = Home(entry->Path());
  for (; slots_[i] != nullptr; i = (i + 1) & mask) {
    if (slots_[i]->Path() == entry->Path()) return false;
  }
  slots_[i] = entry;
  ++count_;
  return true;
}

void EntryPathIndex::Erase(std::string_view path) {
  if (slots_.empty()) return;
  const size_t mask = slots_.size() - 1;
  size_t hole = Home(path);
  while (slots_[hole] != nullptr && slots_[hole]->Path() != path) hole = (hole + 1) & mask;
  if (slots_[hole] == nullptr) return;
  slots_[hole] = nullptr;
  --count_;
  // Moves back the entries of the run after the hole that a probe from their home
  // slot would no longer reach, so no tombstones are needed.
  for (size_t j = (hole + 1) & mask; slots_[j] != nullptr; j = (j + 1) & mask) {
    const size_t home = Home(slots_[j]->Path());
    const bool reachable = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
    if (reachable) continue;
    slots_[hole] = slots_[j];
    slots_[j] = nullptr;
    hole = j;
  }
}

void EntryPathIndex::Clear() {
  std::vector<CKlFileListEntry*>().swap(slots_);
  count_ = 0;
}

void EntryPathIndex::Grow() {
  std::vector<CKlFileListEntry*> old(slots_.empty() ? 16 : slots_.size() * 2, nullptr);
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (CKlFileListEntry* entry : old) {
    if (entry == nullptr) continue;
    size_t i = Home(entry->Path());
    while (slots_[i] != nullptr) i = (i + 1) & mask;
    slots_[i] = entry;
  }
}

}  // namespace zel
