#include "organiser/IArchiveLookup.h"

#include <atomic>

namespace {
std::atomic<IArchiveLookup*> g_lookup{nullptr};
}

namespace zel {
void SetArchiveLookup(IArchiveLookup* lookup) { g_lookup.store(lookup); }
IArchiveLookup* ArchiveLookup() { return g_lookup.load(); }
}  // namespace zel
