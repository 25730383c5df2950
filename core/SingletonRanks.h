#pragma once
#include "core/Singleton.h"

// Destruction order of the services at exit, highest rank first. The logger goes
// last so that lines written by the managers' destructors still reach the file;
// the XML store, which nothing needs at exit, goes first.
class CKlLogger;
class CCallHistory;
class CHotLists;
class CPlaybackManager;
class CSearchManager;
class CSettings;
class CShortCuts;
class CArchiveLogger;
class CArchiveManager;
class CJobArchScheduler;
class CKlXMLSettings;

namespace zel {
template <> struct SingletonRank<CKlLogger> { static constexpr int value = 0; };
template <> struct SingletonRank<CCallHistory> { static constexpr int value = 10; };
template <> struct SingletonRank<CHotLists> { static constexpr int value = 20; };
template <> struct SingletonRank<CPlaybackManager> { static constexpr int value = 30; };
template <> struct SingletonRank<CSearchManager> { static constexpr int value = 40; };
template <> struct SingletonRank<CSettings> { static constexpr int value = 50; };
template <> struct SingletonRank<CShortCuts> { static constexpr int value = 60; };
template <> struct SingletonRank<CArchiveLogger> { static constexpr int value = 70; };
template <> struct SingletonRank<CArchiveManager> { static constexpr int value = 80; };
template <> struct SingletonRank<CJobArchScheduler> { static constexpr int value = 90; };
template <> struct SingletonRank<CKlXMLSettings> { static constexpr int value = 100; };
}  // namespace zel
