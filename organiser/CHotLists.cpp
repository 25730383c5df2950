#include "organiser/CHotLists.h"

CHotLists::CHotLists()
    : CCollectionStore(Traits{"hotlist.xml", "hotlist", "HOTLISTS", "New Hotlist",
                              {{0, -1, "Links to Recordings...", "", 1},
                               {1, 0, "Important Calls", "", 1},
                               {2, 0, "Won Sales", "", 1},
                               {3, 0, "Lost Sales", "", 1},
                               {4, 0, "Personal", "", 1}}}) {}
