#pragma once
#include "organiser/CCollectionStore.h"

using HOTLISTENTRY = CollectionEntry;

// Calls for Review: groups of links to recording files, kept in "hotlist.xml".
// A singleton (Singleton<CHotLists>).
class CHotLists : public CCollectionStore {
 public:
  CHotLists();
};
