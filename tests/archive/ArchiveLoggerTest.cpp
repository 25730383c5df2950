#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <set>

#include "Archive/CArchiveLogger.h"
#include "ArchiveTestSupport.h"
#include "core/FileLock.h"
#include "support/FaultFiles.h"
#include "support/TestSupport.h"

namespace {

CKlFileListEntry Call(const std::string& path, int32_t id) {
  CKlFileListEntry call;
  call.SetPath(path);
  call.SetStartTime(id);
  return call;
}

CJobArchListEntry Entry(int32_t id, int type, const std::string& comment,
                        const std::vector<std::pair<std::string, int32_t>>& calls) {
  CJobArchListEntry entry;
  entry.SetJobTime(id);
  entry.SetArchiveType(static_cast<zel::ArchiveType>(type));
  entry.SetTarget("/archive/" + std::to_string(id));
  entry.SetComment(comment);
  entry.SetCallCount(static_cast<int32_t>(calls.size()));
  entry.SetStructureType(zel::StructureType::kByMonth);
  entry.SetUser("someone");
  for (const auto& [path, callId] : calls) entry.AddSource(Call(path, callId));
  return entry;
}

class ArchiveLoggerTest : public ::testing::Test {
 protected:
  std::string LogPath() const { return dir_.File("archive.log"); }
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
};

TEST_F(ArchiveLoggerTest, LowerCaseClosingTagAndUnquotedIdsLoad) {
  zeltest::WriteFile(LogPath(),
                     "<Root>\r\n"
                     "   <entry id = 1300000000>\r\n"
                     "      <target>/arch/one.zip</target>\r\n"
                     "      <datetime>whatever</datetime>\r\n"
                     "      <archiver>ZIP format</archiver>\r\n"
                     "      <callcount>2</callcount>\r\n"
                     "      <comment>first & only</comment>\r\n"
                     "      <calls>\r\n"
                     "         <call_id>11</call_id>\r\n"
                     "         <file>/calls/a-1.zel</file>\r\n"
                     "         <file>/calls/b-2.zel</file>\r\n"
                     "         <call_id>12</call_id>\r\n"
                     "         <file>/calls/c-3.zel</file>\r\n"
                     "      </calls>\r\n"
                     "   </entry>\r\n"
                     "   <entry id = 0><target>/dropped</target></entry>\r\n"
                     "   <entry id = 1300000500>\r\n"
                     "      <archiver>Disk space</archiver>\r\n"
                     "   </entry>\r\n"
                     "</root>\r\n");
  CArchiveLogger log(LogPath());
  ASSERT_TRUE(log.Load(false));
  EXPECT_TRUE(log.IsLoaded());
  EXPECT_FALSE(log.IsDirty());
  auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].JobTime(), 1300000000);
  EXPECT_EQ(entries[0].Target(), "/arch/one.zip");
  EXPECT_EQ(entries[0].ArchiveType(), zel::ArchiveType::kZip);
  EXPECT_EQ(entries[0].CallCount(), 2);
  EXPECT_EQ(entries[0].Comment(), "first & only");
  EXPECT_EQ(entries[0].DateTimeText(), zel::JobDateTimeText(1300000000));
  ASSERT_EQ(entries[0].Sources().size(), 3u);
  EXPECT_EQ(entries[0].Sources()[0].StartTime(), 11);
  EXPECT_EQ(entries[0].Sources()[1].StartTime(), 11);
  EXPECT_EQ(entries[0].Sources()[2].StartTime(), 12);
  EXPECT_EQ(entries[0].Sources()[2].Path(), "/calls/c-3.zel");
  EXPECT_EQ(entries[1].ArchiveType(), zel::ArchiveType::kDisk);
  EXPECT_EQ(zel::ArchiveLookup(), &log);
}

TEST_F(ArchiveLoggerTest, EntriesNestedOneLevelDeeperAreFound) {
  zeltest::WriteFile(LogPath(), "<Root><group><list><entry id = \"5\"><archiver>ISO format</archiver></entry>"
                                "</list><other><entry id=\"6\"/></other></group></root>");
  CArchiveLogger log(LogPath());
  ASSERT_TRUE(log.Load(false));
  ASSERT_EQ(log.Count(), 1);
  CJobArchListEntry entry;
  ASSERT_TRUE(log.GetEntry(0, entry));
  EXPECT_EQ(entry.JobTime(), 5);
  EXPECT_EQ(entry.ArchiveType(), zel::ArchiveType::kIso);
}

TEST_F(ArchiveLoggerTest, ArchiverNamesReadByPrefix) {
  EXPECT_EQ(CArchiveLogger::ArchiverType("Disk space"), zel::ArchiveType::kDisk);
  EXPECT_EQ(CArchiveLogger::ArchiverType("zip format"), zel::ArchiveType::kNone);
  EXPECT_EQ(CArchiveLogger::ArchiverType("ZIP formatted"), zel::ArchiveType::kZip);
  EXPECT_EQ(CArchiveLogger::ArchiverType("ISO format"), zel::ArchiveType::kIso);
  EXPECT_EQ(CArchiveLogger::ArchiverType(""), zel::ArchiveType::kNone);
  EXPECT_STREQ(CArchiveLogger::ArchiverName(zel::ArchiveType::kDisk), "Disk");
  EXPECT_STREQ(CArchiveLogger::ArchiverName(static_cast<zel::ArchiveType>(9)), "Disk");
}

TEST_F(ArchiveLoggerTest, RoundTripKeepsEntriesCallsAndCallIdsWithExactLayout) {
  {
    CArchiveLogger log(LogPath());
    log.AddEntry(Entry(1300000000, 2, "run <one> & more", {{"/c/a & b-1.zel", 101}, {"/c/b-2.zel", 102}}));
    log.AddEntry(Entry(1300000100, 1, "", {{"/c/c-3.zel", 103}}));
    log.AddEntry(Entry(1300000200, 3, "third", {}));
    EXPECT_TRUE(log.IsDirty());
    ASSERT_TRUE(log.Save());
    EXPECT_FALSE(log.IsDirty());
    EXPECT_FALSE(log.Save());  // clean: nothing written
  }
  std::string text = zeltest::ReadFile(LogPath());
  std::string first =
      "<Root>\r\n"
      "   <entry id = 1300000000>\r\n"
      "      <target>/archive/1300000000</target>\r\n"
      "      <datetime>" + zel::JobDateTimeText(1300000000) + "</datetime>\r\n"
      "      <archiver>ZIP format</archiver>\r\n"
      "      <callcount>2</callcount>\r\n"
      "      <comment>run &lt;one&gt; &amp; more</comment>\r\n"
      "      <structure>2</structure>\r\n"
      "      <user>someone</user>\r\n"
      "      <calls>\r\n"
      "         <call_id>101</call_id>\r\n"
      "         <file>/c/a &amp; b-1.zel</file>\r\n"
      "         <call_id>102</call_id>\r\n"
      "         <file>/c/b-2.zel</file>\r\n"
      "      </calls>\r\n"
      "   </entry>\r\n";
  EXPECT_EQ(text.substr(0, first.size()), first);
  EXPECT_EQ(text.substr(text.size() - 9), "</root>\r\n");
  size_t lists = 0;
  for (size_t at = text.find("<calls>"); at != std::string::npos; at = text.find("<calls>", at + 1)) ++lists;
  EXPECT_EQ(lists, 3u);

  CArchiveLogger back(LogPath());
  ASSERT_TRUE(back.Load(true));
  auto entries = back.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Comment(), "run <one> & more");
  EXPECT_EQ(entries[0].Target(), "/archive/1300000000");
  EXPECT_EQ(entries[0].StructureType(), zel::StructureType::kByMonth);
  EXPECT_EQ(entries[0].User(), "someone");
  ASSERT_EQ(entries[0].Sources().size(), 2u);
  EXPECT_EQ(entries[0].Sources()[0].Path(), "/c/a & b-1.zel");
  EXPECT_EQ(entries[0].Sources()[0].StartTime(), 101);
  EXPECT_EQ(entries[1].ArchiveType(), zel::ArchiveType::kDisk);
  EXPECT_EQ(entries[1].Sources()[0].StartTime(), 103);
  EXPECT_EQ(entries[2].ArchiveType(), zel::ArchiveType::kIso);
  EXPECT_TRUE(entries[2].Sources().empty());
  // Loading again without clearing appends; with clearing it replaces.
  ASSERT_TRUE(back.Load(false));
  EXPECT_EQ(back.Count(), 6);
  ASSERT_TRUE(back.Load(true));
  EXPECT_EQ(back.Count(), 3);
}

TEST_F(ArchiveLoggerTest, CallIdsComeFromHeaderThenFileTimeThenZero) {
  std::string recording = dir_.File("rec-1.zel");
  archtest::MakeRecording(recording, 1234567890);
  std::string plain = dir_.File("plain.zel");
  zeltest::WriteFile(plain, "no header here");
  archtest::SetMtime(plain, 1111111111);
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(1300000000, 1, "", {{recording, 0}, {plain, 0}, {dir_.File("gone.zel"), 0}}));
  // The ids are taken when the entry is added: deleting the recordings afterwards
  // (media processing "delete") must not lose them.
  std::filesystem::remove(recording);
  std::filesystem::remove(plain);
  ASSERT_TRUE(log.Save());
  std::string text = zeltest::ReadFile(LogPath());
  EXPECT_NE(text.find("<call_id>1234567890</call_id>\r\n         <file>" + recording), std::string::npos);
  EXPECT_NE(text.find("<call_id>1111111111</call_id>\r\n         <file>" + plain), std::string::npos);
  EXPECT_NE(text.find("<call_id>0</call_id>\r\n         <file>" + dir_.File("gone.zel")), std::string::npos);
}

TEST_F(ArchiveLoggerTest, EmptyLogIsNeverWritten) {
  zeltest::WriteFile(LogPath(), "old");
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(5, 1, "", {}));
  ASSERT_TRUE(log.RemoveEntry(0));
  EXPECT_TRUE(log.IsDirty());
  EXPECT_FALSE(log.Save());
  EXPECT_EQ(zeltest::ReadFile(LogPath()), "old");
}

TEST_F(ArchiveLoggerTest, PathLookupFindsTheNewestEntryBothWays) {
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(100, 1, "", {{"/c/a-1.zel", 1}, {"/c/b-2.zel", 2}}));
  log.AddEntry(Entry(200, 2, "", {{"/c/x-9.zel", 9}, {"/c/a-1.zel", 1}}));
  EXPECT_EQ(log.FindLogIndexByPath("/c/a-1.zel"), 1);
  EXPECT_EQ(log.FindLogIndexByPathScan("/c/a-1.zel"), 1);
  EXPECT_EQ(log.FindLogIndexByPath("/c/b-2.zel"), 0);
  EXPECT_EQ(log.FindLogIndexByPathScan("/c/b-2.zel"), 0);
  EXPECT_EQ(log.FindLogIndexByPath("/C/A-1.zel"), -1);  // case matters
  EXPECT_EQ(log.FindLogIndexByPathScan("/nowhere.zel"), -1);
  ASSERT_TRUE(log.RemoveEntry(1));
  EXPECT_EQ(log.FindLogIndexByPath("/c/a-1.zel"), 0);
  EXPECT_EQ(log.FindLogIndexByPath("/c/x-9.zel"), -1);
}

TEST_F(ArchiveLoggerTest, IndexedAndScanningLookupsAgreeOnRandomLogs) {
  std::mt19937 random(7);
  CArchiveLogger log(LogPath());
  for (int e = 0; e < 12; ++e) {
    std::vector<std::pair<std::string, int32_t>> calls;
    int count = static_cast<int>(random() % 30);
    for (int i = 0; i < count; ++i) {
      calls.push_back({"/c/" + std::to_string(random() % 60) + ".zel", 1 + static_cast<int32_t>(random() % 80)});
    }
    log.AddEntry(Entry(100 + e, 1, "", calls));
    if (e == 6) log.RemoveEntry(2);  // indexes follow removals
  }
  for (int q = 0; q < 500; ++q) {
    std::string path = "/c/" + std::to_string(random() % 70) + ".zel";
    ASSERT_EQ(log.FindLogIndexByPath(path), log.FindLogIndexByPathScan(path)) << path;
  }
  // The call id lookup against a plain search, newest entry first.
  auto entries = log.Entries();
  for (int32_t id = 0; id < 90; ++id) {
    int expected = -1;
    for (size_t i = entries.size(); i-- > 0 && expected < 0;) {
      for (const auto& call : entries[i].Sources()) {
        if (id != 0 && call.StartTime() == id) expected = static_cast<int>(i);
      }
    }
    ASSERT_EQ(log.FindLogIndexByFile(Call("/x.zel", id)), expected) << id;
  }
}

TEST_F(ArchiveLoggerTest, FileLookupAndTheListsInterface) {
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(100, 1, "older", {{"/c/a-1.zel", 500}}));
  log.AddEntry(Entry(200, 3, "newer", {{"/d/a-1.zel", 500}, {"/d/z-1.zel", 0}}));
  CKlFileListEntry probe = Call("/anything.zel", 500);
  EXPECT_EQ(log.FindLogIndexByFile(probe), 1);
  EXPECT_EQ(log.ArchiveKindOf(probe), 3);
  std::string tooltip = log.ArchiveTooltipOf(probe);
  EXPECT_EQ(tooltip.rfind("Archiver Report\n", 0), 0u);
  EXPECT_LT(tooltip.find("newer"), tooltip.find("older"));
  // An entry without a call time matches nothing, not the calls logged with id 0.
  CKlFileListEntry unknown = Call("/d/z-1.zel", 0);
  EXPECT_EQ(log.FindLogIndexByFile(unknown), -1);
  EXPECT_EQ(log.ArchiveKindOf(unknown), -1);
  EXPECT_EQ(log.ArchiveTooltipOf(unknown), "");
  CJobArchListEntry found;
  EXPECT_TRUE(log.FindLogEntryByFile(probe, found));
  EXPECT_EQ(found.Comment(), "newer");
}

TEST_F(ArchiveLoggerTest, LookupIsWithdrawnWhenTheLogGoes) {
  zeltest::WriteFile(LogPath(), "<Root></root>");
  {
    CArchiveLogger log(LogPath());
    ASSERT_TRUE(log.Load(false));
    EXPECT_EQ(zel::ArchiveLookup(), &log);
  }
  EXPECT_EQ(zel::ArchiveLookup(), nullptr);
}

// Two processes, each loading the log, adding its run and saving, released at once.
TEST_F(ArchiveLoggerTest, TwoProcessesSavingAtOnceKeepEveryEntry) {
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    auto codes = archtest::RunProcessesAtOnce(2, [&](int c) {
      CArchiveLogger log(LogPath());
      log.Load(false);
      // Both runs start in the same second.
      CJobArchListEntry entry = Entry(1000 + round, 1, "run", {{"/r/" + std::to_string(round) + ".zel", 5}});
      entry.SetTarget("/archive/" + std::to_string(c));
      log.AddEntry(entry);
      return log.Save() ? 0 : 1;
    });
    EXPECT_EQ(codes, (std::vector<int>{0, 0}));
  }
  CArchiveLogger log(LogPath());
  ASSERT_TRUE(log.Load(false));
  EXPECT_EQ(log.Count(), 2 * kRounds);
}

TEST_F(ArchiveLoggerTest, ASaveKeepsWhatAnotherProcessChangedAndAppliesItsOwnChanges) {
  CArchiveLogger first(LogPath());
  first.AddEntry(Entry(100, 1, "one", {{"/a.zel", 1}}));
  first.AddEntry(Entry(200, 1, "two", {{"/b.zel", 2}}));
  ASSERT_TRUE(first.Save());
  CArchiveLogger other(LogPath());
  ASSERT_TRUE(other.Load(false));
  other.AddEntry(Entry(300, 2, "three", {{"/c.zel", 3}}));
  other.RemoveEntry(other.IndexOfId(100));
  ASSERT_TRUE(other.Save());
  // `first` still holds 100 and 200 in memory: it must neither bring 100 back nor lose 300.
  first.SetEntryComment(first.IndexOfId(200), "edited");
  ASSERT_TRUE(first.Save());
  CArchiveLogger check(LogPath());
  ASSERT_TRUE(check.Load(false));
  auto entries = check.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Comment(), "edited");
  EXPECT_EQ(entries[1].Comment(), "three");
}

TEST_F(ArchiveLoggerTest, ListsFollowALogThatDidNotExistAtStartUp) {
  CArchiveLogger log(LogPath());
  EXPECT_FALSE(log.Load(false));
  ASSERT_EQ(zel::ArchiveLookup(), &log);
  log.AddEntry(Entry(300, 2, "first run", {{"/e/a-1.zel", 700}}));
  EXPECT_EQ(zel::ArchiveLookup()->ArchiveKindOf(Call("/e/a-1.zel", 700)), 2);
}

TEST_F(ArchiveLoggerTest, ReportLinesListLineAndReportFile) {
  CJobArchListEntry entry = Entry(1300000000, 2, "the comment", {{"/c/a-1.zel", 1}});
  std::string when = entry.DateTimeText();
  std::vector<std::string> expected = {"Archiver Report",
                                       "Issued: " + when,
                                       "-------------------------",
                                       "Archive Job: ZIP",
                                       "Archive File: /archive/1300000000",
                                       "Created By: someone",
                                       "Created Date: " + when,
                                       "Files count: 1",
                                       "Structure Calls by: By Month",
                                       "the comment"};
  EXPECT_EQ(CArchiveLogger::GetReportLines(entry), expected);
  EXPECT_EQ(CArchiveLogger::GetListLine(entry), when + " - ZIP - 1 (calls) - the comment");
  entry.SetArchiveType(zel::ArchiveType::kNone);
  entry.SetStructureType(static_cast<zel::StructureType>(9));
  auto lines = CArchiveLogger::GetReportLines(entry);
  EXPECT_EQ(lines[3], "Archive Job: Unsupported Archive Type");
  EXPECT_EQ(lines[8], "Structure Calls by: Unsupported structure type");
  EXPECT_EQ(CArchiveLogger::GetListLine(entry), when + " - UNKNOWN - 1 (calls) - the comment");

  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(1, 1, "a", {{"/c/a-1.zel", 1}, {"/c/b-2.zel", 2}}));
  log.AddEntry(Entry(2, 3, "b", {}));
  std::string error;
  ASSERT_TRUE(log.WriteReportFile({1, 0}, dir_.File("report.txt"), error));
  std::string text = zeltest::ReadFile(dir_.File("report.txt"));
  std::string expectedText;
  for (int index : {1, 0}) {
    CJobArchListEntry e;
    log.GetEntry(index, e);
    for (const auto& line : CArchiveLogger::GetReportLines(e)) expectedText += line + "\n";
    if (index == 0) expectedText += "Calls:\n   /c/a-1.zel\n   /c/b-2.zel\n";
    expectedText += "\n\n";
  }
  EXPECT_EQ(text, expectedText);
  std::string name = CArchiveLogger::ReportFileName(1300000000);
  EXPECT_EQ(name.rfind("Diza Didurido Report ", 0), 0u);
  EXPECT_EQ(name.substr(name.size() - 4), ".txt");
  EXPECT_EQ(name.find_first_of(":/\\", 0), std::string::npos);
}

TEST_F(ArchiveLoggerTest, CorruptLogsNeverCrashAndKeepEntries) {
  CArchiveLogger writer(LogPath());
  writer.AddEntry(Entry(1300000000, 2, "c<&>", {{"/c/a-1.zel", 1}, {"/c/b-2.zel", 2}}));
  writer.AddEntry(Entry(1300000001, 1, "d", {{"/c/c-3.zel", 3}}));
  ASSERT_TRUE(writer.Save());
  std::string good = zeltest::ReadFile(LogPath());
  for (size_t cut = 0; cut < good.size(); ++cut) {
    CArchiveLogger log(LogPath());
    log.ParseText(good.substr(0, cut));
    ASSERT_LE(log.Count(), 2);
  }
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    std::string bad = good;
    int changes = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < changes; ++i) bad[random() % bad.size()] = static_cast<char>(random() % 256);
    CArchiveLogger log(LogPath());
    log.AddEntry(Entry(7, 1, "kept", {}));
    if (!log.ParseText(bad)) {
      ASSERT_EQ(log.Count(), 1);  // a failed parse leaves the log as it was
    }
  }
  std::string noise(4096, '\0');
  for (auto& c : noise) c = static_cast<char>(random() % 256);
  zeltest::WriteFile(LogPath(), noise);
  CArchiveLogger log(LogPath());
  EXPECT_FALSE(log.Load(false));
  EXPECT_FALSE(log.IsLoaded());
}

TEST_F(ArchiveLoggerTest, FailedSaveLeavesTheOldFile) {
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(1300000000, 1, "small", {}));
  ASSERT_TRUE(log.Save());
  std::string old = zeltest::ReadFile(LogPath());
  std::vector<std::pair<std::string, int32_t>> many;
  for (int i = 0; i < 2000; ++i) many.push_back({"/calls/some/long/folder/name/user-" + std::to_string(i) + ".zel", i});
  log.AddEntry(Entry(1300000001, 1, "big", many));
  // Writes past 64 KiB fail, as on a full disk.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limited = saved;
  limited.rlim_cur = 65536;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool saved_ok = log.Save();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(saved_ok);
  EXPECT_TRUE(log.IsDirty());
  EXPECT_EQ(zeltest::ReadFile(LogPath()), old);
  size_t files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
    if (item.path() != zel::FileLock::LockPathOf(LogPath())) ++files;
  }
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

TEST_F(ArchiveLoggerTest, ViewReportWritesIntoTheDocumentsFolderAndSaysWhenItCannotOpen) {
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(1, 1, "viewed", {}));
  archtest::ScopedMessages messages;
  EXPECT_EQ(log.ViewReport({}), "");  // nothing selected: nothing happens
  zeltest::ScopedEnv path("PATH", dir_.File("no-tools"));
  zeltest::ScopedEnv home("HOME", dir_.File("home"));
  std::string previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  std::string name = log.ViewReport({0});
  std::filesystem::current_path(previous);
  ASSERT_EQ(name.rfind(dir_.File("home/Documents/Diza Didurido Report "), 0), 0u) << name;
  EXPECT_NE(zeltest::ReadFile(name).find("\nviewed\n\n\n"), std::string::npos);
  EXPECT_FALSE(zeltest::FileExists(dir_.File(std::filesystem::path(name).filename().string())));
  EXPECT_EQ(messages.sink->Texts(), std::vector<std::string>{"Failed to open Archive Details File: " + name});
}

TEST_F(ArchiveLoggerTest, CommentEditsMarkTheLogChanged) {
  CArchiveLogger log(LogPath());
  log.AddEntry(Entry(1, 1, "before", {}));
  ASSERT_TRUE(log.Save());
  log.SetEntryComment(-1, "ignored");
  EXPECT_FALSE(log.IsDirty());
  log.SetEntryComment(0, std::string(2000, 'x'));
  EXPECT_TRUE(log.IsDirty());
  CJobArchListEntry entry;
  ASSERT_TRUE(log.GetEntry(0, entry));
  EXPECT_EQ(entry.Comment().size(), 1024u);
}

TEST_F(ArchiveLoggerTest, ADamagedLogIsSetAsideAndKeepsTheEntriesBeforeTheDamage) {
  CArchiveLogger writer(LogPath());
  for (int32_t id : {1300000000, 1300000001, 1300000002}) writer.AddEntry(Entry(id, 2, "run", {{"/c/a.zel", id}}));
  ASSERT_TRUE(writer.Save());
  const std::string good = zeltest::ReadFile(LogPath());
  size_t third = good.find("<entry id = 1300000002>");
  size_t second = good.find("<entry id = 1300000001>");
  std::string utf16;
  for (char c : good) utf16 += std::string(1, c) + '\0';
  struct Case {
    std::string text;
    int kept;
  } cases[] = {
      {good.substr(0, third + 40), 2},                                  // cut short
      {good.substr(0, second) + "<entry id = 5><target>x</tagret>" + good.substr(second), 1},  // a broken tag
      {good.substr(0, third + 30) + '\0' + good.substr(third + 30), 2},  // a NUL byte
      {utf16, 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    zeltest::ScopedMessages messages;
    zeltest::WriteFile(LogPath(), c.text);
    CArchiveLogger log(LogPath());
    EXPECT_FALSE(log.Load(false));
    EXPECT_TRUE(log.WasDamaged());
    EXPECT_EQ(log.Count(), c.kept);
    auto copies = zeltest::DamagedCopies(LogPath());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(zeltest::ReadFile(copies[0]), c.text);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].find(copies[0]), std::string::npos);
    // What could be read is the log from now on, and a later run adds to it.
    log.AddEntry(Entry(1300000009, 1, "later", {}));
    ASSERT_TRUE(log.Save());
    CArchiveLogger back(LogPath());
    ASSERT_TRUE(back.Load(false));
    EXPECT_EQ(back.Count(), c.kept + 1);
    EXPECT_EQ(zeltest::DamagedCopies(LogPath()), copies);
    std::filesystem::remove(copies[0]);
  }
}

TEST_F(ArchiveLoggerTest, RunsOfTheSameSecondGetDistinctIds) {
  CArchiveLogger log(LogPath());
  CArchiveLogger other(LogPath());  // another process, saving the same second
  int a = log.AddEntry(Entry(1300000000, 1, "a", {{"/a.zel", 1}}));
  int b = log.AddEntry(Entry(1300000000, 1, "b", {{"/b.zel", 2}}));
  other.AddEntry(Entry(1300000000, 1, "c", {{"/c.zel", 3}}));
  CJobArchListEntry first, second;
  ASSERT_TRUE(log.GetEntry(a, first) && log.GetEntry(b, second));
  EXPECT_NE(first.JobTime(), second.JobTime());
  ASSERT_TRUE(log.Save());
  ASSERT_TRUE(other.Save());
  CArchiveLogger back(LogPath());
  ASSERT_TRUE(back.Load(false));
  ASSERT_EQ(back.Count(), 3);
  std::set<int32_t> ids;
  for (const auto& entry : back.Entries()) ids.insert(entry.JobTime());
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_EQ(back.Entries()[back.IndexOfId(first.JobTime())].Comment(), "a");
  EXPECT_EQ(back.Entries()[back.IndexOfId(second.JobTime())].Comment(), "b");
}

}  // namespace
