#include "Archive/CArchiveFileListEntry.h"

CArchiveFileListEntry::~CArchiveFileListEntry() = default;
