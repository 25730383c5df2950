#pragma once
#include "organiser/CCollectionStore.h"

using SHORTCUTENTRY = CollectionEntry;

// Shortcuts: groups of links to source folders, kept in "shortcut.xml".
// A singleton (Singleton<CShortCuts>).
class CShortCuts : public CCollectionStore {
 public:
  CShortCuts();
};
