#include <gtest/gtest.h>

#include <QSignalSpy>

#include <chrono>
#include <filesystem>
#include <thread>

#include "organiser/CRecordingCatalogue.h"
#include "organiser/CSearchManager.h"
#include "organiser/CWatchedFolders.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/ui/CCatalogueWatcher.h"
#include "tests/organiser/OrganiserTestSupport.h"

namespace {

// A call saved into a catalogued folder is read in the background, before any search.
TEST(CatalogueWatcher, ReadsNewCallsInTheBackground) {
  zeltest::XdgSandbox sandbox;
  zeltest::TempDir dir;
  orgtest::WriteRecording(dir.File("a.zel"));
  ASSERT_TRUE(CRecordingCatalogue().Refresh(dir.path(), true));
  CCatalogueWatcher watcher;
  watcher.Rewatch();
  QSignalSpy refreshed(&watcher, &CCatalogueWatcher::Refreshed);
  orgtest::WriteRecording(dir.File("b.zel"));
  ASSERT_TRUE(refreshed.wait(10000));
  EXPECT_EQ(CRecordingCatalogue().GetStatus().recordings, 2);
}

// A call rewritten in place leaves its folder as it was; the watch still tells of
// it, so the catalogue no longer vouches for the folder and reads the call again.
TEST(CatalogueWatcher, ReportsCallsWrittenInPlace) {
  zeltest::XdgSandbox sandbox;
  zeltest::TempDir dir;
  orgtest::WriteRecording(dir.File("a.zel"));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // old enough to be trusted
  ASSERT_TRUE(CRecordingCatalogue().Refresh(dir.path(), true));
  CCatalogueWatcher watcher;
  watcher.Rewatch();
  const std::string key = std::filesystem::canonical(dir.path()).string();
  ASSERT_TRUE(CRecordingCatalogue().Refresh(dir.path(), true));  // its files looked at under watch
  ASSERT_TRUE(CWatchedFolders::Process().Trusted(key));
  QSignalSpy refreshed(&watcher, &CCatalogueWatcher::Refreshed);
  orgtest::WriteRecording(dir.File("a.zel"), {"u", ">1", "rewritten"});
  ASSERT_TRUE(refreshed.wait(10000));
  CSearchManager search;
  SearchCriteria criteria;
  criteria.folders = {dir.path()};
  criteria.dateMode = 0;
  criteria.commentMask = "rewritten";
  search.PrepareSearch(criteria, 0, 0);
  search.StartSearch();
  search.WaitUntilStopped(-1);
  CZelVelomarDoc found;
  search.TakeResults(&found);
  EXPECT_EQ(found.EntryCount(), 1u);
}

}  // namespace
