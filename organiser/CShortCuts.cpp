#include "organiser/CShortCuts.h"

CShortCuts::CShortCuts()
    : CCollectionStore(Traits{"shortcut.xml", "shortcut", "SHORTCUTS", "New Group",
                              {{0, -1, "Shortcuts to Sources..", "", 1}}}) {}
