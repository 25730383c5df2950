#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <ctime>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "OrganiserTestSupport.h"
#include "core/Cp1252Case.h"
#include "organiser/CSearchManager.h"
#include "organiser/CSearchPool.h"
#include "organiser/CreateListForm.h"
#include "organiser/DateMode.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/IArchiveLookup.h"
#include "organiser/ListColumn.h"
#include "organiser/ListFilter.h"
#include "organiser/SearchRules.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CKlRecordFileHdr.h"
#include "recording/CommentText.h"

using orgtest::Recording;
using orgtest::WriteRecording;

namespace {

TEST(SearchRules, WildcardRule) {
  struct Case {
    const char* mask;
    const char* text;
    bool match;
  };
  const Case cases[] = {
      {"*ABC*", "XABCX", true},   {"*ABC*", "ABX", false},    {"*A?C*", "XABCX", true},
      {"A?C", "AC", false},       {"*", "", true},            {"**", "", true},
      {"", "", true},             {"", "A", false},           {"*AB", "AAB", true},
      {"*AB", "ABA", false},      {"A*B*C", "AXBYBZC", true}, {"A*B*C", "AXBYBZ", false},
      {"?", "", false},           {"ab", "AB", false},        {"*X*Y", "XXAXXY", true},
  };
  for (const Case& c : cases) EXPECT_EQ(zel::WildcardMatch(c.mask, c.text), c.match) << c.mask << " " << c.text;
  EXPECT_EQ(zel::ContainsMask("abc"), "*ABC*");
  EXPECT_EQ(zel::ContainsMask("*a?c*"), "*A?C*");
  EXPECT_EQ(zel::ContainsMask(""), "**");
  EXPECT_TRUE(zel::EndsInZel("/x/yZeL"));
  EXPECT_FALSE(zel::EndsInZel("/x/y.ze"));
  EXPECT_EQ(zel::FileNameStem("/a.b/c-2012.zel"), "c-2012");
  EXPECT_EQ(zel::FileNameStem("/a.b/xAbCx"), "xAbCx");
}

TEST(SearchRules, WildcardsAndCaseWorkOnCharacters) {
  // "?" takes one whole character, also one of two or three bytes.
  EXPECT_TRUE(zel::WildcardMatch(zel::ContainsMask("M?ller"), zel::UpperCp1252("M\xC3\xBCller GmbH")));
  EXPECT_TRUE(zel::WildcardMatch("?", "\xE2\x82\xAC"));  // the euro sign
  EXPECT_FALSE(zel::WildcardMatch("??", "\xC3\xBC"));
  EXPECT_TRUE(zel::WildcardMatch("*?X", "\xC3\xBCX"));
  EXPECT_FALSE(zel::WildcardMatch("*\xBC", "\xC3\xBC"));  // a star restarts on a character, not inside one
  // Upper case covers every Windows-1252 letter that has one there.
  EXPECT_EQ(zel::UpperCp1252("m\xC3\xBCller \xC3\xA0\xC3\xBE\xC3\xB7\xC3\xBF\xC5\xA1\xC5\x93\xC5\xBE\xC3\x9F"),
            "M\xC3\x9CLLER \xC3\x80\xC3\x9E\xC3\xB7\xC5\xB8\xC5\xA0\xC5\x92\xC5\xBD\xC3\x9F");
  EXPECT_EQ(zel::UpperCp1252("\xC3"), "\xC3");  // a cut character stays
  EXPECT_TRUE(zel::WildcardMatch(zel::ContainsMask("M\xC3\x9CLLER"), zel::UpperCp1252("M\xC3\xBCller GmbH")));
  EXPECT_TRUE(zel::WildcardMatch(zel::ContainsMask("m\xC3\xBCller"), zel::UpperCp1252("M\xC3\x9CLLER")));
}

TEST(SearchRules, DateRule) {
  SearchCriteria c;
  const long long now = 1700000000 + 5000;  // 5000 s into a UTC day
  const long long today = now - 5000 - (1700000000 % 86400);
  c.dateMode = 1;
  EXPECT_TRUE(zel::PassesDateRule(c, today - 86400, now));
  EXPECT_FALSE(zel::PassesDateRule(c, today - 86401, now));
  c.dateMode = 2;
  EXPECT_TRUE(zel::PassesDateRule(c, today - 604800, now));
  EXPECT_FALSE(zel::PassesDateRule(c, today - 604801, now));
  c.dateMode = 3;
  EXPECT_TRUE(zel::PassesDateRule(c, today - 2592000, now));
  EXPECT_FALSE(zel::PassesDateRule(c, today - 2592001, now));
  c.dateMode = 0;
  EXPECT_TRUE(zel::PassesDateRule(c, 0, now));
  c.dateMode = 9;
  EXPECT_TRUE(zel::PassesDateRule(c, 0, now));
  // Range: from the start up to the end of the UTC day that holds rangeEnd.
  c.dateMode = 4;
  c.rangeStart = 1700000000;
  c.rangeEnd = 1700000000 + 3600;
  const long long dayEnd = c.rangeEnd - (c.rangeEnd % 86400) + 86400;
  EXPECT_FALSE(zel::PassesDateRule(c, c.rangeStart - 1, now));
  EXPECT_TRUE(zel::PassesDateRule(c, c.rangeStart, now));
  EXPECT_TRUE(zel::PassesDateRule(c, dayEnd - 1, now));
  EXPECT_FALSE(zel::PassesDateRule(c, dayEnd, now));
  // A start after the end sets no limit.
  std::swap(c.rangeStart, c.rangeEnd);
  EXPECT_TRUE(zel::PassesDateRule(c, 5, now));
}

TEST(ListFilter, KeepsTheEntriesWhoseTextsContainTheTypedText) {
  zel::EntryList entries;
  auto add = [&](const std::string& path, const std::string& caller, const std::string& comment) {
    auto e = std::make_unique<CKlFileListEntry>();
    e->SetPath(path);
    e->SetCallerIdText(caller);
    e->SetCommentText(comment);
    entries.push_back(std::move(e));
  };
  add("/c/Anna-20260101 1200.zel", ">0301", "R\xC3\xBC" "ckruf wegen M\xC3\xBCller");
  add("/c/bob-20260202 0800.zel", "<0999 \xC3\x84rger",
      "Bookmark at: 00:00:05\r\nsee you\r\n### System information do no edit! ### ccc");
  add("/c/Zo\xC3\xAB-20260303 0900.zel", "", "pain au chocolat: cccHOCOLAT");
  const struct {
    const char* typed;
    std::vector<size_t> rows;
  } cases[] = {
      {"", {0, 1, 2}},
      {"anna", {0}},
      {"ANNA", {0}},
      {"m\xC3\xBCller", {0}},  // typed lower, stored mixed
      {"M\xC3\x9CLLER", {0}},
      {"\xC3\xA4RGER", {1}},
      {"zo\xC3\x8B", {2}},
      {"0202", {1}},            // the date and time
      {"SEE YOU", {1}},
      {"bookmark", {}},         // the recorder's own lines are not the comment
      {"system", {}},
      {"chocolat", {2}},        // found after a false start on the same letter
      {"ccchocolat", {2}},
      {"cccc", {}},
      {"0", {0, 1, 2}},
      {"pain au chocolat: cccHOCOLATx", {}},  // longer than the rest of the text
  };
  for (const auto& c : cases) {
    zel::ListFilter fresh;
    fresh.SetText(c.typed, entries);
    // Typed a character at a time, each step narrowing the rows of the one before.
    zel::ListFilter typed;
    const std::string text = c.typed;
    for (size_t n = 0; n <= text.size(); ++n) typed.SetText(text.substr(0, n), entries);
    for (const zel::ListFilter* filter : {&fresh, &typed}) {
      std::vector<size_t> rows;
      for (size_t r = 0; r < filter->RowCount(entries.size()); ++r) rows.push_back(filter->EntryOfRow(r));
      EXPECT_EQ(rows, c.rows) << c.typed;
      for (size_t i = 0; i < entries.size(); ++i) {
        const auto at = std::find(rows.begin(), rows.end(), i);
        EXPECT_EQ(filter->RowOfEntry(i), at == rows.end() ? -1 : at - rows.begin()) << c.typed << " " << i;
      }
    }
  }
  // A shorter text looks through all entries again, and so does a change of the entries.
  zel::ListFilter filter;
  filter.SetText("anna", entries);
  filter.SetText("ann", entries);
  EXPECT_EQ(filter.RowCount(entries.size()), 1u);
  filter.SetText("0", entries);
  entries.erase(entries.begin());
  filter.Refresh(entries);
  EXPECT_EQ(filter.RowCount(entries.size()), 2u);
  EXPECT_EQ(filter.EntryOfRow(1), 1u);
}

TEST(SearchRules, ColumnAndDateModeNamesLeadBackToTheirRows) {
  for (const zel::ListColumnInfo& info : zel::kListColumns) {
    EXPECT_EQ(zel::ListColumnFromName(info.name), info.column) << info.name;
    EXPECT_EQ(zel::ListColumnFromNumber(static_cast<int>(info.column)), info.column);
  }
  EXPECT_FALSE(zel::ListColumnFromNumber(zel::kListColumnCount));
  EXPECT_FALSE(zel::ListColumnFromNumber(-1));
  EXPECT_FALSE(zel::ListColumnFromName("Comment"));
  for (const zel::DateModeInfo& info : zel::kDateModes) {
    EXPECT_EQ(zel::DateModeFromName(zel::DateModeName(info.mode)), info.mode) << info.name;
  }
  EXPECT_FALSE(zel::DateModeFromName("30 days"));
  EXPECT_EQ(zel::FindDateMode(9), nullptr);
}

TEST(CreateListForm, SourceLinesSelectionAndCompile) {
  zel::CreateListForm opened({"/a", "/b"});
  EXPECT_EQ(opened.Selected(), 1);  // the last given folder
  EXPECT_TRUE(opened.CanCompile());
  EXPECT_TRUE(opened.IncludeSubfolders());

  zel::CreateListForm form;
  EXPECT_FALSE(form.RemoveSelected());
  EXPECT_TRUE(form.Add("/calls/a"));
  EXPECT_FALSE(form.Add("/calls/a/b"));  // covered by /calls/a
  EXPECT_TRUE(form.Add("/other"));
  EXPECT_EQ(form.Selected(), 1);
  EXPECT_TRUE(form.Add("/calls"));  // replaces /calls/a, selects the first line
  EXPECT_EQ(form.Selected(), 0);
  EXPECT_TRUE(form.RemoveSelected());  // the first line went: the new first is selected
  EXPECT_EQ(form.Selected(), 0);
  EXPECT_TRUE(form.RemoveSelected());
  EXPECT_EQ(form.Selected(), -1);
  EXPECT_FALSE(form.CanCompile());

  // Without sub-folders duplicates and nested lines stay; ticking the box tidies up.
  form.SetIncludeSubfolders(false);
  for (const char* folder : {"/x", "/y", "/x/z", "/x"}) EXPECT_TRUE(form.Add(folder));
  form.Select(2);
  EXPECT_TRUE(form.RemoveSelected());
  EXPECT_EQ(form.Selected(), 1);
  form.SetIncludeSubfolders(true);
  EXPECT_EQ(form.Folders(), (std::vector<std::string>{"/x", "/y"}));
  EXPECT_EQ(form.Selected(), 0);
}

TEST(CreateListForm, CriteriaFromTheLimits) {
  zel::CreateListForm form({"/calls"});
  SearchCriteria c = form.Criteria();
  EXPECT_EQ(c.dateMode, static_cast<int>(zel::DateMode::Within30Days));
  EXPECT_EQ(c.includeSubfolders, 1);
  EXPECT_EQ(c.nameMask, "*");
  EXPECT_EQ(c.limitByLength, 0);
  EXPECT_FALSE(form.ShowsDateRange());
  form.SetDateRule(static_cast<int>(zel::DateMode::Range));
  EXPECT_TRUE(form.ShowsDateRange());

  form.SetMinMinutes(12);
  EXPECT_EQ(form.Criteria().minMinutes, 0);  // minutes count only with the length limit
  form.SetLimitByLength(true);
  EXPECT_EQ(form.MinMinutes(), 0);  // choosing a length option starts again from 0
  form.SetMinMinutes(301);
  EXPECT_EQ(form.MinMinutes(), 300);
  form.SetMinMinutes(-1);
  EXPECT_EQ(form.MinMinutes(), 0);
  form.SetMinMinutes(7);
  form.SetNameMask("abc");
  form.SetCallerIdMask(">0171");
  form.SetIncludeSubfolders(false);

  // The range in local time, with summer time where the zone has it.
  const char* oldTz = std::getenv("TZ");
  const std::string savedTz = oldTz ? oldTz : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  form.SetRange({2026, 7, 1}, {2027, 1, 15});
  c = form.Criteria();
  EXPECT_EQ(c.rangeStart, 1782856800);  // 2026-06-30 22:00:00 UTC
  EXPECT_EQ(c.rangeEnd, 1800053999);  // 2027-01-15 22:59:59 UTC
  form.SetRange({2026, 1, 15}, {2026, 1, 15});
  c = form.Criteria();
  EXPECT_EQ(c.rangeEnd - c.rangeStart, 86399);
  form.SetRange({1969, 6, 1}, {2100, 1, 1});  // beyond 32-bit times: held at their ends
  EXPECT_EQ(form.Criteria().rangeStart, 0);
  EXPECT_EQ(form.Criteria().rangeEnd, std::numeric_limits<int>::max());
  if (oldTz) setenv("TZ", savedTz.c_str(), 1);
  else unsetenv("TZ");
  tzset();

  EXPECT_EQ(c.folders, (std::vector<std::string>{"/calls"}));
  EXPECT_EQ(c.includeSubfolders, 0);
  EXPECT_EQ(c.dateMode, 4);
  EXPECT_EQ(c.nameMask, "abc");
  EXPECT_EQ(c.callerIdMask, ">0171");
  EXPECT_EQ(c.limitByLength, 1);
  EXPECT_EQ(c.minMinutes, 7);
}

class SearchTest : public ::testing::Test {
 protected:
  SearchCriteria AllOf(const std::string& folder) {
    SearchCriteria c;
    c.folders = {folder};
    c.includeSubfolders = 1;
    c.dateMode = 0;
    return c;
  }
  // Runs a search to its end and returns the results in list order.
  std::vector<std::string> Run(const SearchCriteria& c, SearchStatus* status = nullptr, int column = 5,
                               int descending = 1) {
    manager_.PrepareSearch(c, column, descending);
    SearchStatus s;
    manager_.GetStatus(s);
    if (!s.failed) {
      manager_.StartSearch();
      while (manager_.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    CZelVelomarDoc doc;
    manager_.TakeResults(&doc);
    manager_.GetStatus(s);
    if (status) *status = s;
    std::vector<std::string> names;
    for (size_t i = 0; i < doc.EntryCount(); ++i) {
      std::string p = doc.EntryAt(i)->Path();
      names.push_back(p.substr(p.find_last_of('/') + 1));
    }
    return names;
  }

  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  CSearchManager manager_;
};

TEST_F(SearchTest, FindsRecordingsByNameRules) {
  mkdir(dir_.File("sub").c_str(), 0755);
  Recording r;
  r.startTime = 1700000000;
  WriteRecording(dir_.File("4711-20231114 221320.zel"), r);
  r.startTime = 1700000100;
  WriteRecording(dir_.File("sub/xAbCx"), r);  // no extension at all: not a recording
  r.startTime = 1700000200;
  WriteRecording(dir_.File("sub/xAbCxzel"), r);  // ends in zel without a dot
  r.startTime = 1700000300;
  WriteRecording(dir_.File("sub/other.ZEL"), r);
  zeltest::WriteFile(dir_.File("notes.txt"), "x");

  SearchStatus s;
  EXPECT_EQ(Run(AllOf(dir_.path()), &s),
            (std::vector<std::string>{"other.ZEL", "xAbCxzel", "4711-20231114 221320.zel"}));
  EXPECT_EQ(s.total, 3);
  EXPECT_EQ(s.processed, 3);
  EXPECT_EQ(s.failed, 0);

  SearchCriteria c = AllOf(dir_.path());
  c.nameMask = "abc";
  EXPECT_EQ(Run(c), (std::vector<std::string>{"xAbCxzel"}));
  c.nameMask = "a?c";
  EXPECT_EQ(Run(c), (std::vector<std::string>{"xAbCxzel"}));
  c.nameMask = "4711-*";
  EXPECT_EQ(Run(c), (std::vector<std::string>{"4711-20231114 221320.zel"}));

  // Without subfolders only the top folder; a trailing "/" changes nothing.
  c = AllOf(dir_.path() + "/");
  c.includeSubfolders = 0;
  EXPECT_EQ(Run(c, &s), (std::vector<std::string>{"4711-20231114 221320.zel"}));
  EXPECT_EQ(s.total, 1);

  // A single file as the source searches exactly that file.
  c = AllOf(dir_.File("sub/other.ZEL"));
  EXPECT_EQ(Run(c, &s), (std::vector<std::string>{"other.ZEL"}));
  EXPECT_EQ(s.total, 1);

  // Ascending by start time.
  EXPECT_EQ(Run(AllOf(dir_.path()), nullptr, 5, 0),
            (std::vector<std::string>{"4711-20231114 221320.zel", "xAbCxzel", "other.ZEL"}));
}

TEST_F(SearchTest, LengthCallerAndDateLimits) {
  const long long now = time(nullptr);
  Recording r;
  r.duration = 59;
  r.callerId = ">0301234";
  r.modificationTime = now;
  WriteRecording(dir_.File("a.zel"), r);
  r.duration = 60;
  r.callerId = "<0409999";
  WriteRecording(dir_.File("b.zel"), r);
  r.duration = 120;
  r.callerId = ">0301299";
  r.modificationTime = now - 40 * 86400;  // old file
  WriteRecording(dir_.File("c.zel"), r);

  SearchCriteria c = AllOf(dir_.path());
  c.limitByLength = 1;
  c.minMinutes = 0;
  EXPECT_EQ(Run(c, nullptr, 2, 0).size(), 2u);  // drops the call under 60 s
  c.minMinutes = 1;
  EXPECT_EQ(Run(c), (std::vector<std::string>{"c.zel"}));
  c = AllOf(dir_.path());
  c.callerIdMask = ">030";
  auto found = Run(c);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"a.zel", "c.zel"}));
  // The date rule uses the file time during the walk.
  c = AllOf(dir_.path());
  c.dateMode = 3;
  found = Run(c);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"a.zel", "b.zel"}));
  c.dateMode = 4;
  c.rangeStart = static_cast<int>(now - 41 * 86400);
  c.rangeEnd = static_cast<int>(now - 39 * 86400);
  EXPECT_EQ(Run(c), (std::vector<std::string>{"c.zel"}));
}

TEST_F(SearchTest, CallerMaskMatchesLettersBeyondAscii) {
  Recording r;
  r.callerId = "M\xFCller GmbH";  // as the header holds it, in Windows-1252
  WriteRecording(dir_.File("a.zel"), r);
  r.callerId = "Mueller AG";
  WriteRecording(dir_.File("b.zel"), r);
  SearchCriteria c = AllOf(dir_.path());
  for (const char* mask : {"M?ller", "M\xC3\x9CLLER", "m\xC3\xBCller g"}) {
    c.callerIdMask = mask;
    EXPECT_EQ(Run(c), (std::vector<std::string>{"a.zel"})) << mask;
  }
}

TEST_F(SearchTest, UnreadableFilesAndFolders) {
  mkdir(dir_.File("locked").c_str(), 0755);
  WriteRecording(dir_.File("ok.zel"));
  WriteRecording(dir_.File("locked/hidden.zel"));
  WriteRecording(dir_.File("secret.zel"));
  chmod(dir_.File("locked").c_str(), 0);
  chmod(dir_.File("secret.zel").c_str(), 0);
  if (access(dir_.File("locked").c_str(), R_OK) == 0) {
    chmod(dir_.File("locked").c_str(), 0755);
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  SearchStatus s;
  auto found = Run(AllOf(dir_.path()), &s);
  chmod(dir_.File("locked").c_str(), 0755);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"ok.zel", "secret.zel"}));
  EXPECT_EQ(s.total, 2);
  EXPECT_EQ(s.processed, 2);
  // The unreadable file stays a candidate and matches by its error text.
  SearchCriteria c = AllOf(dir_.path());
  c.callerIdMask = "file error";
  EXPECT_EQ(Run(c), (std::vector<std::string>{"secret.zel"}));
}

TEST_F(SearchTest, MissingSourceFailsWithoutStarting) {
  WriteRecording(dir_.File("a.zel"));
  SearchCriteria c = AllOf(dir_.path());
  c.folders.push_back(dir_.File("missing"));
  c.folders.push_back(dir_.path());
  SearchStatus s;
  EXPECT_TRUE(Run(c, &s).empty());
  EXPECT_EQ(s.failed, 1);
  EXPECT_EQ(s.total, 1);  // counting stopped at the missing item
  c.folders = {""};
  Run(c, &s);
  EXPECT_EQ(s.failed, 1);
  c.folders = {dir_.File("gone.zel")};
  Run(c, &s);
  EXPECT_EQ(s.failed, 1);
  // An existing folder without recordings does not fail; the total is 0.
  mkdir(dir_.File("empty").c_str(), 0755);
  Run(AllOf(dir_.File("empty")), &s);
  EXPECT_EQ(s.failed, 0);
  EXPECT_EQ(s.total, 0);
}

TEST_F(SearchTest, TakeResultsSkipsListedPathsAndCopiesCriteria) {
  WriteRecording(dir_.File("a.zel"));
  WriteRecording(dir_.File("b.zel"));
  CZelVelomarDoc doc;
  auto known = std::make_unique<CKlFileListEntry>();
  known->SetPath(dir_.File("a.zel"));
  ASSERT_TRUE(doc.AddEntry(known));
  SearchCriteria c = AllOf(dir_.path());
  c.callerIdMask = "*";
  c.nameMask = "";
  manager_.PrepareSearch(c, 5, 1);
  manager_.StartSearch();
  manager_.TakeResults(&doc);  // waits for the walk
  EXPECT_EQ(doc.EntryCount(), 2u);
  EXPECT_EQ(doc.GetCriteria().folders, c.folders);
  EXPECT_EQ(manager_.ResultCount(), 0u);
  EXPECT_EQ(doc.ImportantCount(), 0);
}

TEST_F(SearchTest, FileRemovedAfterTheCountIsNoResult) {
  WriteRecording(dir_.File("a.zel"));
  WriteRecording(dir_.File("b.zel"));
  manager_.PrepareSearch(AllOf(dir_.path()), 5, 1);
  ASSERT_EQ(unlink(dir_.File("a.zel").c_str()), 0);
  manager_.StartSearch();
  while (manager_.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  SearchStatus s;
  manager_.GetStatus(s);
  EXPECT_EQ(s.processed, s.total);
  EXPECT_EQ(manager_.ResultCount(), 1u);  // not a "File error!" entry for the removed one
}

// The walk opens each file the count listed without looking again first: whatever
// took the name meanwhile must neither block the walk nor pass as a recording.
TEST_F(SearchTest, NameTakenOverAfterTheCount) {
  const struct {
    const char* what;
    std::function<void(const std::string&)> replace;
    std::string caller;  // of the result; empty: no result
    uint32_t duration;
  } cases[] = {
      {"removed", [](const std::string& p) { unlink(p.c_str()); }, "", 0},
      {"fifo", [](const std::string& p) { unlink(p.c_str()), mkfifo(p.c_str(), 0644); }, "File error!", 0},
      {"folder", [](const std::string& p) { unlink(p.c_str()), mkdir(p.c_str(), 0755); }, "File error!", 0},
      {"audio cut off", [](const std::string& p) { ASSERT_EQ(truncate(p.c_str(), 1440), 0); }, ">0123456", 0},
      {"untouched", [](const std::string&) {}, ">0123456", 65},
  };
  manager_.SetUseCatalogue(false);  // the walk's own reads, not the catalogue's rows
  for (const auto& c : cases) {
    zeltest::TempDir dir;
    WriteRecording(dir.File("a.zel"));
    manager_.PrepareSearch(AllOf(dir.path()), 5, 1);
    c.replace(dir.File("a.zel"));
    manager_.StartSearch();
    while (manager_.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    CZelVelomarDoc doc;
    manager_.TakeResults(&doc);
    ASSERT_EQ(doc.EntryCount(), c.caller.empty() ? 0u : 1u) << c.what;
    if (c.caller.empty()) continue;
    EXPECT_EQ(doc.EntryAt(0)->CallerIdText(), c.caller) << c.what;
    EXPECT_EQ(doc.EntryAt(0)->Duration(), c.duration) << c.what;
  }
}

TEST_F(SearchTest, CancelledWalkLeavesNoEntries) {
  for (int i = 0; i < 3000; ++i) {
    Recording r;
    r.audioBytes = 0;
    WriteRecording(dir_.File("r" + std::to_string(i) + ".zel"), r);
  }
  SearchCriteria c = AllOf(dir_.path());
  c.limitByLength = 1;  // every file loads its header: a slow walk
  manager_.PrepareSearch(c, 5, 1);
  manager_.StartSearch();
  manager_.StopSearch();
  SearchStatus s;
  manager_.GetStatus(s);
  EXPECT_FALSE(manager_.IsRunning());
  if (s.processed == s.total) GTEST_SKIP() << "the walk ended before it could be stopped";
  EXPECT_EQ(manager_.ResultCount(), 0u);
  CZelVelomarDoc doc;
  manager_.TakeResults(&doc);
  EXPECT_EQ(doc.EntryCount(), 0u);
  // The next search is not disturbed by the cancelled one.
  c.limitByLength = 0;
  EXPECT_EQ(Run(c).size(), 3000u);
}

TEST(SearchPool, KeepsTheWalkOrderWhateverTheThreads) {
  // Uneven work per file, so that later batches often finish before earlier ones.
  for (unsigned threads : {0u, 1u, 3u}) {
    CSearchPool pool(
        [](const std::string& path) -> std::unique_ptr<CKlFileListEntry> {
          const int time = std::stoi(path);
          if (time % 3 == 0) return nullptr;
          if (time % 97 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
          auto e = std::make_unique<CKlFileListEntry>();
          e->SetCommentText(path);
          return e;
        },
        threads);
    zel::EntryList out;
    std::vector<std::string> expected;
    for (int round = 0; round < 2; ++round) {  // the pool serves a second walk as well
      for (int i = 0; i < 1000; ++i) {
        pool.Add(std::to_string(i));
        if (i % 3 != 0) expected.push_back(std::to_string(i));
      }
      pool.Finish(out);
    }
    std::vector<std::string> got;
    for (const auto& e : out) got.emplace_back(e->CommentText());
    EXPECT_EQ(got, expected) << threads << " threads";
  }
}

TEST(SearchPool, KeepsManyReadsInFlightWhateverTheCores) {
  // Each read waits until 16 are under way at once (as on a share, where each open
  // is a round trip), or gives up after a while.
  constexpr int kInFlight = 16;
  std::mutex mutex;
  std::condition_variable changed;
  int inFlight = 0;
  int most = 0;
  bool gaveUp = false;
  CSearchPool pool(
      [&](const std::string&) -> std::unique_ptr<CKlFileListEntry> {
        std::unique_lock<std::mutex> lock(mutex);
        most = std::max(most, ++inFlight);
        changed.notify_all();
        if (!gaveUp && !changed.wait_for(lock, std::chrono::seconds(5), [&] { return most >= kInFlight; })) {
          gaveUp = true;
        }
        --inFlight;
        return nullptr;
      },
      CSearchPool::DefaultThreads());
  for (int i = 0; i < 2000; ++i) pool.Add(std::to_string(i));
  zel::EntryList out;
  pool.Finish(out);
  EXPECT_GE(most, kInFlight);
}

class FixedLookup : public IArchiveLookup {
 public:
  int ArchiveKindOf(const CKlFileListEntry& entry) override {
    return entry.Path().back() == '1' ? 3 : entry.Path().back() == '2' ? 1 : -1;
  }
  std::string ArchiveTooltipOf(const CKlFileListEntry&) override { return std::string(); }
};

TEST_F(SearchTest, SortEntriesByEveryColumn) {
  zel::EntryList list;
  struct Row {
    const char* name;
    const char* user;
    const char* caller;
    int32_t start;
    uint32_t duration;
    uint32_t important;
    const char* comment;
  };
  // A bookmark is a comment that begins with the bookmark line and ends with the trailer.
  std::string bookmarked = "Bookmark at:  00:00:01\r\n";
  bookmarked.resize(1023 - 116, ' ');
  bookmarked +=
      "\r\n\r\n### System information do no edit! ###\r\n<bookmark>\r\n<bstart>00:00:01</bstart>\r\n"
      "<bend>00:00:05</bend>\r\n<bookmark>";
  const Row rows[] = {
      {"f0", "b", "\xC3\xA9t\xC3\xA9", 300, 10, 0, "zz"},
      {"f1", "a", "z", 100, 30, 1, bookmarked.c_str()},
      {"f2", "c", "A", 200, 20, 0, ""},
  };
  for (const Row& row : rows) {
    Recording r;
    r.userId = row.user;
    r.callerId = row.caller;
    r.startTime = row.start;
    r.duration = row.duration;
    r.important = row.important;
    r.comment = row.comment;
    WriteRecording(dir_.File(row.name), r);
    auto e = std::make_unique<CKlFileListEntry>();
    e->SetPath(dir_.File(row.name));
    e->LoadDetails("");
    list.push_back(std::move(e));
  }
  auto order = [&]() {
    std::string s;
    for (const auto& e : list) s += e->Path().back();
    return s;
  };
  ASSERT_TRUE(list[1]->HasBookmark());
  zel::SortEntries(list, 1, true);
  EXPECT_EQ(order().front(), '1');
  zel::SortEntries(list, 2, false);
  EXPECT_EQ(order(), "102");
  zel::SortEntries(list, 2, true);
  EXPECT_EQ(order(), "201");
  zel::SortEntries(list, 3, false);  // strcmp order: "A" < "z" < bytes above 0x7F
  EXPECT_EQ(order(), "210");
  zel::SortEntries(list, 5, true);
  EXPECT_EQ(order(), "021");
  zel::SortEntries(list, 6, false);
  EXPECT_EQ(order(), "021");
  zel::SortEntries(list, 6, true);
  EXPECT_EQ(order(), "120");
  zel::SortEntries(list, 7, true);  // descending puts the calls without a bookmark first
  EXPECT_EQ(order().back(), '1');
  zel::SortEntries(list, 7, false);
  EXPECT_EQ(order().front(), '1');
  zel::SortEntries(list, 8, false);
  EXPECT_EQ(order(), "210");
  // Outside 1..8 nothing moves.
  const std::string before = order();
  zel::SortEntries(list, 0, true);
  zel::SortEntries(list, 9, false);
  EXPECT_EQ(order(), before);
  // Column 4 asks the archive log; without one every key is -1.
  FixedLookup lookup;
  zel::SetArchiveLookup(&lookup);
  zel::SortEntries(list, 4, true);
  EXPECT_EQ(order(), "120");
  zel::SortEntries(list, 4, false);
  EXPECT_EQ(order(), "021");
  zel::SetArchiveLookup(nullptr);
  zel::SortEntries(list, 4, true);
  EXPECT_EQ(order(), "021");
}

TEST(SortText, MatchesStrcmpOrderOnLongAndRepeatedTexts) {
  // Long shared prefixes, repeats, high bytes and texts that are prefixes of others.
  std::mt19937 rng(11);
  const std::string stem(40, 'x');
  zel::EntryList list;
  for (int i = 0; i < 2000; ++i) {
    auto e = std::make_unique<CKlFileListEntry>();
    e->SetPath("/p/" + std::to_string(i));
    std::string text;
    switch (rng() % 5) {
      case 0: text = stem; break;
      case 1: text = stem + static_cast<char>('a' + rng() % 3); break;
      case 2: text = stem.substr(0, rng() % 20) + static_cast<char>(0x80 + rng() % 3); break;
      case 3: text = std::string(rng() % 18, 'x'); break;
      default: text = stem + std::to_string(rng() % 50); break;
    }
    e->SetCommentText(text);
    list.push_back(std::move(e));
  }
  for (bool descending : {false, true}) {
    zel::SortEntries(list, 8, descending);
    for (size_t i = 1; i < list.size(); ++i) {
      int c = std::strcmp(std::string(list[i - 1]->CommentText()).c_str(), std::string(list[i]->CommentText()).c_str());
      ASSERT_TRUE(descending ? c >= 0 : c <= 0) << i;
    }
  }
  EXPECT_EQ(list.size(), 2000u);
  for (const auto& e : list) ASSERT_NE(e, nullptr);
}


TEST(SortText, MatchesStrcmpOrderAroundTheSixteenthByte) {
  // Texts that share prefixes of every length near 16 bytes, with suffixes that
  // differ at, before and after the cut; the reference is std::sort with strcmp.
  const std::string base = "Follow up needed - a call back";
  std::mt19937 rng(16);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> texts = {"Follow up needed", "Follow up needed - a", "Follow up needed - later",
                                      "Follow up needed - urgent"};
    for (int i = 0; i < 300; ++i) {
      std::string text = base.substr(0, 12 + rng() % 9);
      const int tail = static_cast<int>(rng() % 4);
      for (int k = 0; k < tail; ++k) text += "aZÃ© "[rng() % 5];
      texts.push_back(text);
    }
    std::shuffle(texts.begin(), texts.end(), rng);
    zel::EntryList list;
    for (const std::string& text : texts) {
      auto e = std::make_unique<CKlFileListEntry>();
      e->SetCommentText(text);
      list.push_back(std::move(e));
    }
    std::vector<std::string> expected = texts;
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
    for (bool descending : {false, true}) {
      zel::SortEntries(list, 8, descending);
      std::vector<std::string> got;
      for (const auto& e : list) got.emplace_back(e->CommentText());
      std::vector<std::string> want = expected;
      if (descending) std::reverse(want.begin(), want.end());
      ASSERT_EQ(got, want) << "round " << round << (descending ? " descending" : " ascending");
    }
  }
}

}  // namespace

namespace {

TEST(SearchRules, UserCommentLeavesOutTheRecordersTexts) {
  CKlRecordFileHdr header;
  header.SetComment("Invoice 42 disputed");
  ASSERT_EQ(header.SetBookmark(5, 9), 1);
  EXPECT_EQ(zel::UserCommentText(header.CommentUtf8()), "Invoice 42 disputed");
  EXPECT_EQ(zel::UserCommentText("Bookmark at:  00:00:05\r\n"), "");
  EXPECT_EQ(zel::UserCommentText("plain text  "), "plain text");
}

}  // namespace

TEST_F(SearchTest, CommentMaskMatchesOnlyTheUsersText) {
  Recording r;
  r.comment = "Invoice 42 disputed";
  WriteRecording(dir_.File("a.zel"), r);
  r.comment = "Wrong number";
  WriteRecording(dir_.File("b.zel"), r);
  {
    CKlRecordFileHdr header;
    ASSERT_GT(header.LoadHeader(dir_.File("b.zel"), ""), 0);
    ASSERT_EQ(header.SetBookmark(1, 3), 1);
    ASSERT_EQ(header.SaveHeader(dir_.File("b.zel")), 1);
  }
  SearchCriteria c = AllOf(dir_.path());
  c.commentMask = "invoice";
  EXPECT_EQ(Run(c), (std::vector<std::string>{"a.zel"}));
  c.commentMask = "w?ong";
  EXPECT_EQ(Run(c), (std::vector<std::string>{"b.zel"}));
  // The bookmark line and the system block are not the user's words.
  for (const char* mask : {"bookmark", "system information", "bstart"}) {
    c.commentMask = mask;
    EXPECT_TRUE(Run(c).empty()) << mask;
  }
  for (const char* mask : {"", "*"}) {
    c.commentMask = mask;
    EXPECT_EQ(Run(c).size(), 2u) << mask;
  }
}
