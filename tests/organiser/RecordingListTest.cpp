#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "OrganiserTestSupport.h"
#include "core/CSettings.h"
#include "organiser/CCallHistory.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/RecordingListFile.h"
#include "recording/CKlFileListEntry.h"
#include "support/FaultFiles.h"
#include "toolkit/CKlXmlParser.h"

using orgtest::Recording;
using orgtest::WriteRecording;

namespace {

std::vector<std::string> PathsOf(const CZelVelomarDoc& doc) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < doc.EntryCount(); ++i) paths.push_back(doc.EntryAt(i)->Path());
  return paths;
}

void Add(CZelVelomarDoc& doc, const std::string& path) {
  auto e = std::make_unique<CKlFileListEntry>();
  e->SetPath(path);
  ASSERT_TRUE(doc.AddEntry(e)) << path;
}

class ListFileTest : public ::testing::Test {
 protected:
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  orgtest::ScopedSink sink_;
};

TEST_F(ListFileTest, WritesTheLayoutAndReadsItBack) {
  WriteRecording(dir_.File("a.zel"));
  WriteRecording(dir_.File("b & c <d>.zel"));
  CZelVelomarDoc doc;
  Add(doc, dir_.File("b & c <d>.zel"));
  Add(doc, dir_.File("a.zel"));
  doc.SetListKind(0, dir_.path() + "/R&D");
  ASSERT_TRUE(doc.SaveList(dir_.File("l.reclist")));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(zeltest::ReadFile(dir_.File("l.reclist")),
            "<root>\r\n   <rec>" + dir_.path() + "/b &amp; c &lt;d&gt;.zel</rec>\r\n   <rec>" + dir_.path() +
                "/a.zel</rec>\r\n   <Folder>" + dir_.path() + "/R&amp;D</Folder>\r\n</root>\r\n");

  CZelVelomarDoc loaded;
  ASSERT_TRUE(loaded.LoadList(dir_.File("l.reclist"), ""));
  EXPECT_EQ(PathsOf(loaded), PathsOf(doc));
  EXPECT_EQ(loaded.GetTitleText(), dir_.path() + "/R&D");
  EXPECT_TRUE(loaded.EntryAt(0)->DetailsLoaded());
  EXPECT_TRUE(sink_.messages().empty());

  // Opening takes the path and leaves the list unmodified.
  CZelVelomarDoc opened;
  ASSERT_TRUE(opened.OpenListFile(dir_.File("l.reclist")));
  EXPECT_FALSE(opened.IsModified());
  EXPECT_EQ(opened.PathName(), dir_.File("l.reclist"));
  EXPECT_EQ(opened.EntryCount(), 2u);
}

TEST_F(ListFileTest, EmptyListGivesEmptyFile) {
  zeltest::WriteFile(dir_.File("l.reclist"), "old content");
  CZelVelomarDoc doc;
  doc.SetModified(true);
  ASSERT_TRUE(doc.SaveList(dir_.File("l.reclist")));
  EXPECT_EQ(zeltest::ReadFile(dir_.File("l.reclist")), "");
  EXPECT_FALSE(doc.IsModified());
  CZelVelomarDoc loaded;
  EXPECT_TRUE(loaded.LoadList(dir_.File("l.reclist"), ""));
  EXPECT_EQ(loaded.EntryCount(), 0u);
  EXPECT_TRUE(sink_.messages().empty());
}

TEST_F(ListFileTest, ReadsFilesOfEarlierVersionsAndHandMadeOnes) {
  WriteRecording(dir_.File("Smith & Sons-2012.zel"));
  WriteRecording(dir_.File("x.zel"));
  WriteRecording(dir_.File("y.zel"));
  // Unescaped, as earlier versions wrote them; a missing file is dropped.
  zeltest::WriteFile(dir_.File("old.reclist"), "<root>\r\n   <rec>" + dir_.File("Smith & Sons-2012.zel") +
                                                    "</rec>\r\n   <rec>" + dir_.File("gone.zel") +
                                                    "</rec>\r\n   <Folder></Folder>\r\n</root>\r\n");
  CZelVelomarDoc doc;
  doc.SetTitleText("");
  ASSERT_TRUE(doc.LoadList(dir_.File("old.reclist"), ""));
  EXPECT_EQ(PathsOf(doc), (std::vector<std::string>{dir_.File("Smith & Sons-2012.zel")}));
  EXPECT_EQ(doc.GetTitleText(), "");

  // Any nesting and other element names; "folder" in other case is a path holder.
  zeltest::WriteFile(dir_.File("hand.reclist"), "<?xml version=\"1.0\"?><list><group a='1'><item>" +
                                                     dir_.File("x.zel") + "</item></group><folder>" +
                                                     dir_.File("y.zel") + "</folder><Folder>T</Folder>"
                                                     "<x>" + dir_.File("x.zel") + "</x></list>");
  CZelVelomarDoc hand;
  ASSERT_TRUE(hand.LoadList(dir_.File("hand.reclist"), ""));
  EXPECT_EQ(PathsOf(hand), (std::vector<std::string>{dir_.File("x.zel"), dir_.File("y.zel")}));
  EXPECT_EQ(hand.GetTitleText(), "T");

  // Append: a custom list not built by a search.
  hand.SetListKind(0, "/somewhere");
  ASSERT_TRUE(hand.AppendListFile(dir_.File("old.reclist"), ""));
  EXPECT_EQ(hand.EntryCount(), 3u);
  EXPECT_EQ(hand.GetListKind(), 1);
  EXPECT_FALSE(hand.IsBuiltBySearch());
}

TEST_F(ListFileTest, BrokenFilesReportAndLeaveTheListAlone) {
  WriteRecording(dir_.File("a.zel"));
  CZelVelomarDoc doc;
  Add(doc, dir_.File("a.zel"));
  doc.SetTitleText("keep");
  zeltest::WriteFile(dir_.File("bad.reclist"), "<root>\r\n   <rec>" + dir_.File("a.zel") + "</rec>\r\n   <re");
  EXPECT_FALSE(doc.LoadList(dir_.File("bad.reclist"), ""));
  ASSERT_EQ(sink_.messages().size(), 1u);
  const auto& m = sink_.messages()[0];
  EXPECT_EQ(m.icon, IMessageSink::Icon::Warning);
  EXPECT_EQ(m.text.rfind("Error parsing file " + dir_.File("bad.reclist") + ".\n\nLine 3, Column 7. Error 1: ", 0), 0u)
      << m.text;
  EXPECT_EQ(doc.EntryCount(), 1u);
  EXPECT_EQ(doc.GetTitleText(), "keep");

  // Random and truncated content never crashes and never changes the list.
  std::string good = "<root>\r\n   <rec>" + dir_.File("a.zel") + "</rec>\r\n   <Folder>t</Folder>\r\n</root>\r\n";
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string content = good.substr(0, rng() % good.size());
    if (round % 2) {
      for (int i = 0; i < 5; ++i) content.insert(content.begin() + (rng() % (content.size() + 1)), static_cast<char>(rng()));
    }
    zeltest::WriteFile(dir_.File("r.reclist"), content);
    CZelVelomarDoc target;
    bool ok = target.LoadList(dir_.File("r.reclist"), "");
    if (!ok) {
      EXPECT_EQ(target.EntryCount(), 0u);
    }
    EXPECT_LE(target.EntryCount(), 1u);
  }
  CZelVelomarDoc none;
  EXPECT_FALSE(none.LoadList(dir_.File("missing.reclist"), ""));
}

TEST_F(ListFileTest, FailedSaveKeepsTheOldFile) {
  WriteRecording(dir_.File("a.zel"));
  const std::string old = "<root>\r\n   <rec>/old.zel</rec>\r\n</root>\r\n";
  zeltest::WriteFile(dir_.File("l.reclist"), old);
  CZelVelomarDoc doc;
  for (int i = 0; i < 50; ++i) {
    WriteRecording(dir_.File("r" + std::to_string(i) + ".zel"));
    Add(doc, dir_.File("r" + std::to_string(i) + ".zel"));
  }
  // The disk "fills up" half-way through the write, also for root.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved_ok = doc.SaveList(dir_.File("l.reclist"));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved_ok);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(zeltest::ReadFile(dir_.File("l.reclist")), old);
  // Nothing but the old file and the recordings is left behind.
  auto listing = zeltest::RunShell("ls -A " + zeltest::ShellQuote(dir_.path()) + " | grep -v '\\.zel$'");
  EXPECT_EQ(listing.out, "l.reclist\n");
}

class HistoryTest : public ListFileTest {};

TEST_F(HistoryTest, StoreFillSaveAndLoad) {
  Recording r;
  r.startTime = 1000;
  WriteRecording(dir_.File("old.zel"), r);
  r.startTime = 2000;
  WriteRecording(dir_.File("new & <x>.zel"), r);
  CCallHistory history;
  history.AddPlayed(dir_.File("old.zel"));
  history.AddPlayed(dir_.File("old.zel"));
  history.AddPlayed(dir_.File("old.zel"));
  history.AddPlayed(dir_.File("missing.zel"));
  history.AddPlayed(dir_.File("new & <x>.zel"));
  EXPECT_EQ(history.Count(), 4u);

  CZelVelomarDoc doc;
  history.FillDocument(doc);
  EXPECT_EQ(PathsOf(doc), (std::vector<std::string>{dir_.File("new & <x>.zel"), dir_.File("old.zel")}));
  history.FillDocument(doc);  // repeated fills add only what is new
  EXPECT_EQ(doc.EntryCount(), 2u);

  ASSERT_TRUE(history.SaveHistory());
  const std::string saved = zeltest::ReadFile(CCallHistory::HistoryFilePath());
  EXPECT_EQ(saved.rfind("<root>\r\n   <rec>", 0), 0u);
  EXPECT_EQ(saved.find("<Folder>"), std::string::npos);

  CCallHistory reloaded;
  reloaded.LoadHistory();
  EXPECT_EQ(reloaded.Paths(), history.Paths());

  // An empty store leaves the file.
  CCallHistory empty;
  ASSERT_TRUE(empty.SaveHistory());
  EXPECT_EQ(zeltest::ReadFile(CCallHistory::HistoryFilePath()), saved);

  // Loading replaces the store; a broken file gives an empty history, any text
  // (also inside Folder) is a path.
  zeltest::WriteFile(CCallHistory::HistoryFilePath(), "<root><Folder>" + dir_.File("old.zel") + "</Folder></root>");
  reloaded.LoadHistory();
  EXPECT_EQ(reloaded.Paths(), (std::vector<std::string>{dir_.File("old.zel")}));
  zeltest::WriteFile(CCallHistory::HistoryFilePath(), "<root><rec>" + dir_.File("old.zel"));
  reloaded.LoadHistory();
  EXPECT_EQ(reloaded.Count(), 0u);
  // The broken file is kept beside, and the user told where.
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_NE(sink_.messages()[0].text.find("history.reclist.damaged-"), std::string::npos);
  EXPECT_FALSE(zeltest::FileExists(CCallHistory::HistoryFilePath()));
  reloaded.AddPlayed(dir_.File("old.zel"));
  reloaded.ClearHistory();
  EXPECT_EQ(reloaded.Count(), 0u);
}

TEST_F(ListFileTest, SpecialFilesAreRefusedAsListsHistoryAndRecordings) {
  alarm(20);  // a reader blocked on a FIFO ends the program instead of hanging
  ASSERT_TRUE(zeltest::MakeFifo(dir_.File("fifo.zel")));
  zel::RecordingListContent content;
  CKlXmlError error;
  EXPECT_FALSE(zel::ReadRecordingList(dir_.File("fifo.zel"), content, error));
  EXPECT_NE(error.text.find("not a regular file"), std::string::npos);
  std::filesystem::create_symlink("/dev/zero", CCallHistory::HistoryFilePath());
  CCallHistory history;
  history.LoadHistory();
  EXPECT_EQ(zeltest::DamagedCopies(CCallHistory::HistoryFilePath()).size(), 1u);
  // A FIFO named like a recording in the history is not listed.
  zeltest::WriteFile(CCallHistory::HistoryFilePath(), "<root><rec>" + dir_.File("fifo.zel") + "</rec></root>");
  history.LoadHistory();
  EXPECT_EQ(history.Count(), 0u);
  alarm(0);
}

}  // namespace
