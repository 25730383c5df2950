#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "OrganiserTestSupport.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/EntryPathIndex.h"
#include "organiser/IArchiveLookup.h"
#include "organiser/PredefinedComments.h"
#include "recording/CKlFileListEntry.h"
#include "toolkit/CKlXmlParser.h"

using orgtest::Recording;
using orgtest::WriteRecording;

namespace {

std::unique_ptr<CKlFileListEntry> Entry(const std::string& path) {
  auto e = std::make_unique<CKlFileListEntry>();
  e->SetPath(path);
  e->LoadDetails("");
  return e;
}

TEST(Document, AddRemoveAndTotals) {
  zeltest::TempDir dir;
  Recording r;
  r.duration = 3000;
  r.important = 1;
  WriteRecording(dir.File("a.zel"), r);
  r.duration = 599;
  r.important = 0;
  WriteRecording(dir.File("b.zel"), r);
  r.duration = 1;
  WriteRecording(dir.File("c.zel"), r);

  CZelVelomarDoc doc;
  EXPECT_FALSE(doc.IsModified());
  auto a = Entry(dir.File("a.zel"));
  ASSERT_TRUE(doc.AddEntry(a));
  EXPECT_EQ(a, nullptr);  // adopted
  EXPECT_TRUE(doc.IsModified());
  auto again = Entry(dir.File("a.zel"));
  EXPECT_FALSE(doc.AddEntry(again));
  EXPECT_NE(again, nullptr);  // refused: still the caller's
  EXPECT_FALSE(doc.AddEntry(*again));
  auto missing = Entry(dir.File("missing.zel"));
  EXPECT_FALSE(doc.AddEntry(missing));
  std::unique_ptr<CKlFileListEntry> none;
  EXPECT_FALSE(doc.AddEntry(none));
  auto b = Entry(dir.File("b.zel"));
  EXPECT_TRUE(doc.AddEntry(*b));  // a copy
  EXPECT_NE(doc.EntryAt(1), b.get());

  EXPECT_EQ(doc.EntryCount(), 2u);
  EXPECT_EQ(doc.CallsText(), "Calls: 2");
  EXPECT_EQ(doc.ImportantText(), "Important: 1");
  EXPECT_EQ(doc.DurationText(), "Duration: 00:59:59");
  EXPECT_EQ(doc.IndexOfPath(dir.File("b.zel")), 1);

  doc.AdjustImportant(1, true);
  doc.EntryAt(1)->SetImportant(1);
  doc.AdjustImportant(1, true);  // no change: no count
  EXPECT_EQ(doc.ImportantCount(), 2);

  doc.RemoveEntryAt(5);
  EXPECT_EQ(doc.EntryCount(), 2u);
  doc.SetModified(false);
  doc.RemoveEntryAt(0);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.ImportantCount(), 1);
  EXPECT_EQ(doc.TotalSeconds(), 599);
  EXPECT_EQ(doc.IndexOfPath(dir.File("a.zel")), -1);
  EXPECT_EQ(doc.IndexOfPath(dir.File("b.zel")), 0);
  // The path is free again.
  auto a2 = Entry(dir.File("a.zel"));
  EXPECT_TRUE(doc.AddEntry(a2));
  EXPECT_EQ(doc.DurationText(), "Duration: 00:59:59");
  auto c = Entry(dir.File("c.zel"));
  EXPECT_TRUE(doc.AddEntry(c));
  EXPECT_EQ(doc.DurationText(), "Duration: 01:00:00");

  doc.SetModified(false);
  doc.ClearEntries();
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.EntryCount(), 0u);
  EXPECT_EQ(doc.ImportantCount(), 0);
  EXPECT_EQ(doc.DurationText(), "Duration: 00:00:00");
  doc.SetModified(false);
  doc.ClearEntries();
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.EntryAt(0), nullptr);
}

// Entries come and go in random order through a table that grows and closes its
// gaps: every path stays found exactly while its entry is in.
TEST(EntryPathIndex, FindsExactlyTheEntriesIn) {
  constexpr int kPaths = 3000;
  std::vector<CKlFileListEntry> entries(kPaths);
  for (int i = 0; i < kPaths; ++i) entries[i].SetPath("/calls/" + std::to_string(i % 97) + "/u-2026" + std::to_string(i));
  std::vector<bool> in(kPaths, false);
  zel::EntryPathIndex index;
  std::mt19937 rng(3);
  for (int step = 0; step < 20000; ++step) {
    const int i = static_cast<int>(rng() % kPaths);
    if (in[i]) {
      index.Erase(entries[i].Path());
    } else {
      ASSERT_TRUE(index.Insert(&entries[i]));
    }
    in[i] = !in[i];
    if (step % 997 != 0) continue;
    size_t count = 0;
    for (int k = 0; k < kPaths; ++k) {
      ASSERT_EQ(index.Find(entries[k].Path()), in[k] ? &entries[k] : nullptr) << step << " " << k;
      count += in[k];
    }
    ASSERT_EQ(index.Count(), count);
  }
  CKlFileListEntry twin(entries[0]);
  EXPECT_EQ(index.Insert(&twin), !in[0]);
  index.Clear();
  EXPECT_EQ(index.Find(entries[0].Path()), nullptr);
}

TEST(Document, TitlesOfTheKinds) {
  zeltest::TempDir dir;
  CZelVelomarDoc doc;
  doc.SetListKind(0, "/calls/abcdefghijklmnopqrstuvwxy");  // 25 characters
  EXPECT_EQ(doc.GetListKind(), 0);
  EXPECT_EQ(doc.WindowTitle(), "abcdefghijklmnopq...");
  EXPECT_EQ(doc.LabelText().rfind("abcdefghijklmnopqrstuvwxy - ", 0), 0u);
  EXPECT_FALSE(doc.IsBuiltBySearch());  // only the search that fills it says so
  doc.SetListKind(0, "/calls/office/");
  EXPECT_EQ(doc.WindowTitle(), "office");
  doc.SetModified(true);
  EXPECT_EQ(doc.WindowTitle(), "office*");

  doc.SetModified(false);
  doc.SetListKind(0, "");  // no folder: a custom list
  EXPECT_EQ(doc.GetListKind(), 1);
  EXPECT_EQ(doc.WindowTitle(), "Custom");
  EXPECT_EQ(doc.LabelText().rfind("Custom Recordings - ", 0), 0u);
  zeltest::WriteFile(dir.File("my.reclist"), "");
  doc.SetPathName(dir.File("my.reclist"));
  doc.SetListKind(1, "");
  EXPECT_EQ(doc.WindowTitle(), "my.reclist");

  doc.SetListKind(2, "");
  doc.SetModified(true);
  EXPECT_EQ(doc.WindowTitle(), "Play History");
  EXPECT_EQ(doc.LabelText().rfind("Play History - ", 0), 0u);
  EXPECT_FALSE(doc.IsBuiltBySearch());
}

TEST(Document, CommentColumn) {
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText("  first line\r\nsecond "), "first line");
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText("Bookmark at:  00:01:02\r\nCustomer complained\r\nmore"),
            "Customer complained");
  std::string onlySystem = "Bookmark at:  00:00:01\r\n";
  onlySystem.resize(907, ' ');
  onlySystem += "\r\n\r\n### System information do no edit! ###\r\n<bookmark>\r\n";
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText(onlySystem), "");
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText("Bookmark at:  00:00:01"), "");
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText(std::string(2000, 'x')).size(), 1024u);
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText(""), "");
}

class OneRecordLookup : public IArchiveLookup {
 public:
  int ArchiveKindOf(const CKlFileListEntry& e) override { return e.Path() == "/a.zel" ? 2 : -1; }
  std::string ArchiveTooltipOf(const CKlFileListEntry& e) override {
    return e.Path() == "/a.zel" ? "ZIP 2023-11-14 /backup/a.zip" : "";
  }
};

TEST(Document, ArchivedColumn) {
  CKlFileListEntry a, b;
  a.SetPath("/a.zel");
  b.SetPath("/b.zel");
  EXPECT_EQ(CZelVelomarDoc::ArchiveKind(a), -1);
  EXPECT_EQ(CZelVelomarDoc::ArchivedTooltip(a), "Not archived yet");
  OneRecordLookup lookup;
  zel::SetArchiveLookup(&lookup);
  EXPECT_EQ(CZelVelomarDoc::ArchiveKind(a), 2);
  EXPECT_EQ(CZelVelomarDoc::ArchivedTooltip(a), "ZIP 2023-11-14 /backup/a.zip");
  EXPECT_EQ(CZelVelomarDoc::ArchivedTooltip(b), "Not archived yet");
  zel::SetArchiveLookup(nullptr);
}

TEST(Document, ParseErrorMessage) {
  CKlXmlError e;
  e.line = 3;
  e.column = 7;
  e.number = 4;
  e.text = "End tag does not match start tag";
  e.context = "<rec>x</red>";
  EXPECT_EQ(CZelVelomarDoc::ParseErrorMessage("/l.reclist", e),
            "Error parsing file /l.reclist.\n\nLine 3, Column 7. Error 4: End tag does not match start tag\n\n<rec>x</red>");
  EXPECT_EQ(CZelVelomarDoc::ParseErrorMessage("", e).rfind("Error parsing file.\n\nLine 3,", 0), 0u);
}

}  // namespace

#include "organiser/SearchRules.h"
#include "organiser/SourceFolderList.h"

namespace {

TEST(Document, RemoveTrimAndRefresh) {
  zeltest::TempDir dir;
  CZelVelomarDoc doc;
  for (int i = 0; i < 5; ++i) {
    Recording r;
    r.duration = 10 * (i + 1);
    r.important = i % 2;
    WriteRecording(dir.File(std::to_string(i) + ".zel"), r);
    auto e = std::make_unique<CKlFileListEntry>();
    e->SetPath(dir.File(std::to_string(i) + ".zel"));  // details not loaded yet
    ASSERT_TRUE(doc.AddEntry(e));
  }
  EXPECT_EQ(doc.TotalSeconds(), 0);
  doc.RefreshDetails("");
  EXPECT_EQ(doc.TotalSeconds(), 150);
  EXPECT_EQ(doc.ImportantCount(), 2);
  doc.RemoveEntriesAt({3, 0, 3, 9});
  ASSERT_EQ(doc.EntryCount(), 3u);
  EXPECT_EQ(doc.EntryAt(0)->Path(), dir.File("1.zel"));
  EXPECT_EQ(doc.EntryAt(2)->Path(), dir.File("4.zel"));
  EXPECT_EQ(doc.TotalSeconds(), 20 + 30 + 50);
  EXPECT_EQ(doc.ImportantCount(), 1);
  doc.TrimToEntries({2});
  ASSERT_EQ(doc.EntryCount(), 1u);
  EXPECT_EQ(doc.EntryAt(0)->Path(), dir.File("4.zel"));
  EXPECT_EQ(doc.TotalSeconds(), 50);
}

TEST(Document, SearchWithinList) {
  CKlFileListEntry in, out, odd;
  in.SetPath("/x/4711-2023.zel");
  in.SetCallerIdText(">0301");
  in.SetCommentText("Angry customer");
  out.SetPath("/x/4712-2023.zel");
  out.SetCallerIdText("<0402");
  odd.SetPath("/x/4713-2023.zel");
  odd.SetCallerIdText("<04>02");
  const std::string mask = zel::ListSearchMask("angry");
  EXPECT_EQ(mask, "*ANGRY*");
  EXPECT_EQ(zel::ListSearchMask(""), "");
  using F = zel::ListSearchField;
  using D = zel::ListSearchDirection;
  EXPECT_TRUE(zel::MatchesListSearch(in, F::All, D::Both, mask));
  EXPECT_TRUE(zel::MatchesListSearch(in, F::Comment, D::Incoming, mask));
  EXPECT_FALSE(zel::MatchesListSearch(in, F::CallerId, D::Both, mask));
  EXPECT_FALSE(zel::MatchesListSearch(in, F::All, D::Outgoing, mask));
  const std::string any = zel::ListSearchMask("*");
  EXPECT_TRUE(zel::MatchesListSearch(out, F::All, D::Outgoing, any));
  EXPECT_FALSE(zel::MatchesListSearch(out, F::All, D::Incoming, any));
  EXPECT_FALSE(zel::MatchesListSearch(odd, F::All, D::Outgoing, any));  // a ">" after the first character
  EXPECT_TRUE(zel::MatchesListSearch(out, F::UserId, D::Both, zel::ListSearchMask("4712")));
}

TEST(SourceFolders, AddingAndSubfolderRules) {
  std::vector<std::string> list;
  EXPECT_EQ(zel::AddSourceFolder(list, "/calls/a", true), 0);
  EXPECT_EQ(zel::AddSourceFolder(list, "/calls/a", false), 1);  // duplicates without subfolders
  list = {"/calls/a"};
  EXPECT_EQ(zel::AddSourceFolder(list, "/calls/a/b", true), -1);  // covered
  EXPECT_EQ(list.size(), 1u);
  list = {"/calls/a/x", "/other", "/calls/ab"};
  EXPECT_EQ(zel::AddSourceFolder(list, "/calls/a", true), 0);  // text prefixes, not components
  EXPECT_EQ(list, (std::vector<std::string>{"/other", "/calls/a"}));
  list = {"/x"};
  EXPECT_EQ(zel::AddSourceFolder(list, "/x", true), 0);  // the same folder replaces itself
  EXPECT_EQ(list, (std::vector<std::string>{"/x"}));

  list = {"/a/b", "/a", "/c", "/a/b/c", "/c"};
  zel::RemoveContainedFolders(list);
  EXPECT_EQ(list, (std::vector<std::string>{"/a", "/c"}));
  EXPECT_EQ(zel::SpinMinutes(0, -1), 0);
  EXPECT_EQ(zel::SpinMinutes(300, 1), 300);
  EXPECT_EQ(zel::SpinMinutes(5, 1), 6);
}

}  // namespace

TEST(PredefinedComments, FileLinesOrTheBuiltInPhrases) {
  zeltest::TempDir dir;
  const std::string path = dir.File("Comments.txt");
  const auto& builtIn = zel::BuiltInComments();
  ASSERT_EQ(builtIn.size(), 16u);
  EXPECT_EQ(builtIn[3], "** Sale **");
  EXPECT_EQ(builtIn[15], "Great Sales Technique");
  EXPECT_EQ(zel::ReadPredefinedComments(path), builtIn);  // missing
  zeltest::WriteFile(path, "");
  EXPECT_EQ(zel::ReadPredefinedComments(path), builtIn);  // no line
  zeltest::WriteFile(path, "Paid\r\n\r\nDisputed\n\nCall the boss");
  EXPECT_EQ(zel::ReadPredefinedComments(path), (std::vector<std::string>{"Paid", "Disputed", "Call the boss"}));
  zeltest::WriteFile(path, "Paid\nbin\x01\x02ary\n");
  EXPECT_EQ(zel::ReadPredefinedComments(path), (std::vector<std::string>{"Paid"}));
  // A file that is there but cannot be read offers nothing, without waiting on a FIFO.
  EXPECT_TRUE(zel::ReadPredefinedComments(dir.path()).empty());
  zeltest::WriteFile(path, std::string(zel::kMaxPredefinedCommentsSize + 1, 'x'));
  EXPECT_TRUE(zel::ReadPredefinedComments(path).empty());
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(zel::ReadPredefinedComments(fifo).empty());
  EXPECT_NE(zel::PredefinedCommentsPath().find("/Comments.txt"), std::string::npos);
}

TEST(Document, CommentColumnDropsTheHeaderPadding) {
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText("Paid in full      \r\n### System information do no edit! ###"),
            "Paid in full");
}

#include "organiser/OpenedFiles.h"
#include "support/FaultFiles.h"

TEST(OpenedFilesTest, NamesSortedByWhatBecomesOfThem) {
  zeltest::TempDir dir;
  WriteRecording(dir.File("a.zel"), orgtest::Recording());
  WriteRecording(dir.File("List.RECLIST"), orgtest::Recording());  // the content does not matter here
  ASSERT_TRUE(zeltest::MakeFifo(dir.File("pipe.zel")));
  const OpenedFiles sorted = zel::SortOpenedFiles(
      {dir.File("a.zel"), dir.path(), dir.File("List.RECLIST"), dir.File("pipe.zel"), dir.File("gone.zel"), ""});
  EXPECT_EQ(sorted.recordings, std::vector<std::string>{dir.File("a.zel")});
  EXPECT_EQ(sorted.folders, std::vector<std::string>{dir.path()});
  EXPECT_EQ(sorted.lists, std::vector<std::string>{dir.File("List.RECLIST")});
  EXPECT_EQ(sorted.unreadable, (std::vector<std::string>{dir.File("pipe.zel"), dir.File("gone.zel"), ""}));
}
