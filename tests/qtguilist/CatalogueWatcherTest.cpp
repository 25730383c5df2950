#include <gtest/gtest.h>

#include <QSignalSpy>

#include "organiser/CRecordingCatalogue.h"
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

}  // namespace
