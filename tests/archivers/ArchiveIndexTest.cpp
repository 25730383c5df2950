// The index every archive carries: it lists exactly the calls written, with their
// texts and digests, and archive-verify finds a missing file and a changed byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "Archive/ArchiveIndex.h"
#include "Archive/ArchiveVerifier.h"
#include "Archive/CDiskArchiver.h"
#include "Archive/CISOArchiver.h"
#include "Archive/CZIPArchiver.h"
#include "archivers/ArchiverTestSupport.h"
#include "organiser/OrganiserTestSupport.h"
#include "recording/CKlRecordFileHdr.h"
#include "toolkit/zip/CZipArchive.h"

namespace {

class ArchiveIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orgtest::Recording r;
    r.userId = "Alice";
    r.callerId = ">0301234";
    r.comment = "Said \"no\", twice\r\nthen hung up";
    r.important = 1;
    r.duration = 125;
    r.audioBytes = 4000;
    orgtest::WriteRecording(a_, r);
    CKlRecordFileHdr header;
    ASSERT_GT(header.LoadHeader(a_, ""), 0);
    ASSERT_EQ(header.SetBookmark(3, 9), 1);
    ASSERT_EQ(header.SaveHeader(a_), 1);
    r.userId = "Bob";
    r.comment.clear();
    r.important = 0;
    orgtest::WriteRecording(b_, r);
  }
  // Archives a and b (b under "Bob") and returns the archive's path.
  std::string Archive(IArchiver& archiver, const std::string& target) {
    archiver.Reset();
    EXPECT_EQ(archiver.AddFile(target, a_, "", 0), 0);
    EXPECT_EQ(archiver.AddFile(target, b_, "/Bob", 0), 0);
    EXPECT_GE(archiver.Archive(), 0);
    return target;
  }
  zeltest::XdgSandbox xdg_;
  zeltest::TempDir dir_;
  std::string a_ = dir_.File("a.zel"), b_ = dir_.File("b.zel");
};

}  // namespace

TEST_F(ArchiveIndexTest, CsvCarriesTheTextsAndReadsBack) {
  CDiskArchiver disk(nullptr);
  const std::string root = Archive(disk, dir_.File("disk"));
  std::string csv = zeltest::ReadFile(root + "/index.csv");
  zel::ArchiveIndex index;
  ASSERT_TRUE(index.ParseCsv(csv));
  ASSERT_EQ(index.Rows().size(), 2u);
  const zel::ArchiveIndexRow& a = index.Rows()[0];
  EXPECT_EQ(a.path, "a.zel");
  EXPECT_EQ(a.user, "Alice");
  EXPECT_EQ(a.caller, ">0301234");
  EXPECT_EQ(a.dateTime, "2023-11-14T22:13:20");
  EXPECT_EQ(a.duration, 125);
  EXPECT_EQ(a.important, 1);
  EXPECT_EQ(a.bookmarkStart, 3);
  EXPECT_EQ(a.bookmarkEnd, 9);
  EXPECT_EQ(a.comment, "Said \"no\", twice\r\nthen hung up");  // without the bookmark line and block
  EXPECT_EQ(a.sha256, zel::ArchiveIndex::Sha256OfFile(a_));
  EXPECT_EQ(index.Rows()[1].path, "Bob/b.zel");
  EXPECT_EQ(index.Rows()[1].bookmarkStart, -1);
  EXPECT_EQ(index.Csv(), csv);
  const std::string html = zeltest::ReadFile(root + "/index.html");
  EXPECT_NE(html.find("<a href=\"Bob/b.zel\">"), std::string::npos);
  EXPECT_NE(html.find("Said &quot;no&quot;, twice"), std::string::npos);

  // A later run into the folder keeps the earlier rows and replaces a rewritten one.
  CDiskArchiver again(nullptr);
  again.Reset();
  ASSERT_EQ(again.AddFile(root, b_, "", 0), 0);
  ASSERT_EQ(again.Archive(), 0);
  ASSERT_TRUE(index.ParseCsv(zeltest::ReadFile(root + "/index.csv")));
  ASSERT_EQ(index.Rows().size(), 3u);
  EXPECT_EQ(index.Rows()[2].path, "b.zel");
  EXPECT_FALSE(index.ParseCsv("path,user\r\nx,y\r\n"));
}

TEST_F(ArchiveIndexTest, EachKindListsWhatItHoldsAndVerifyFindsDamage) {
  CDiskArchiver disk(nullptr);
  CZIPArchiver zip(nullptr);
  CISOArchiver iso(nullptr);
  const std::string archives[] = {Archive(disk, dir_.File("disk")), Archive(zip, dir_.File("calls.zip")),
                                  Archive(iso, dir_.File("calls.iso"))};
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive);
    zel::ArchiveCheck check;
    ASSERT_TRUE(zel::VerifyArchive(archive, check)) << check.error;
    EXPECT_EQ(check.listed, 2u);
    EXPECT_TRUE(check.Intact());
  }
  // A second ZIP run lists the new call once, beside the earlier ones.
  CZIPArchiver more(nullptr);
  more.Reset();
  ASSERT_EQ(more.AddFile(archives[1], a_, "/Again", 0), 0);
  ASSERT_EQ(more.Archive(), 1);
  zel::ArchiveCheck check;
  ASSERT_TRUE(zel::VerifyArchive(archives[1], check));
  EXPECT_EQ(check.listed, 3u);
  EXPECT_TRUE(check.Intact());

  // One changed byte and one missing file in the folder tree.
  {
    std::fstream file(archives[0] + "/a.zel", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(1500);
    file.put('\x55');
  }
  std::filesystem::remove(archives[0] + "/Bob/b.zel");
  ASSERT_TRUE(zel::VerifyArchive(archives[0], check));
  EXPECT_EQ(check.changed, std::vector<std::string>{"a.zel"});
  EXPECT_EQ(check.missing, std::vector<std::string>{"Bob/b.zel"});
  EXPECT_FALSE(zel::VerifyArchive(dir_.File("nothing"), check));
  EXPECT_FALSE(zel::VerifyArchive(a_, check));  // a recording is no archive
}

TEST_F(ArchiveIndexTest, RefusedRecordingsAreNotListed) {
  // The image refuses a second file of the same name; the index lists only one.
  zeltest::ScopedMessages messages;
  CISOArchiver iso(nullptr);
  iso.Reset();
  ASSERT_EQ(iso.AddFile(dir_.File("one.iso"), a_, "", 0), 0);
  std::filesystem::create_directories(dir_.File("sub"));
  orgtest::WriteRecording(dir_.File("sub/a.zel"));
  EXPECT_NE(iso.AddFile(dir_.File("one.iso"), dir_.File("sub/a.zel"), "", 0), 0);
  ASSERT_EQ(iso.Archive(), 0);
  EXPECT_EQ(messages.messages().size(), 1u);
  zel::ArchiveCheck check;
  ASSERT_TRUE(zel::VerifyArchive(dir_.File("one.iso"), check));
  EXPECT_EQ(check.listed, 1u);
  EXPECT_TRUE(check.Intact());
}

// Archives made by hand or by an attacker: each is reported, within a second,
// never followed out of the archive, never read without bound.
TEST_F(ArchiveIndexTest, HostileArchivesAreReportedNotFollowed) {
  CDiskArchiver disk(nullptr);
  const std::string root = Archive(disk, dir_.File("disk"));
  zeltest::WriteFile(dir_.File("outside/x.zel"), "secret");
  const std::string csv = zeltest::ReadFile(root + "/index.csv");
  // The real index with one more row for `path`.
  auto listing = [&](const std::string& path) {
    zel::ArchiveIndex index;
    EXPECT_TRUE(index.ParseCsv(csv));
    zel::ArchiveIndexRow row;
    row.path = path;
    row.sha256 = zel::ArchiveIndex::Sha256OfBytes("secret");
    index.Add(row);
    return index.Csv();
  };
  auto sparse = [](const std::string& path, uint64_t size) {
    zeltest::WriteFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
  };
  auto zipOf = [&](const std::string& zip, const std::vector<std::pair<std::string, std::string>>& members) {
    zel::zip::CZipArchive archive;
    ASSERT_TRUE(archive.Open(zip));
    for (const auto& [source, name] : members) {
      ASSERT_EQ(archive.AddFile(source, name, 1), zel::zip::CZipArchive::AddResult::kAdded);
    }
    ASSERT_TRUE(archive.Commit());
  };
  enum Outcome { kError, kUnlisted, kRefused };
  struct Case {
    const char* what;
    std::function<std::string()> make;  // returns the archive to verify
    Outcome outcome;
  };
  const std::vector<Case> cases = {
      {"a call the index does not list",
       [&] { zeltest::WriteFile(root + "/extra.zel", "x"); return root; }, kUnlisted},
      {"an empty index beside calls",
       [&] { zeltest::WriteFile(root + "/index.csv", csv.substr(0, csv.find('\n') + 1)); return root; }, kUnlisted},
      {"an absolute path", [&] { zeltest::WriteFile(root + "/index.csv", listing(dir_.File("outside/x.zel"))); return root; },
       kRefused},
      {"a path with ..", [&] { zeltest::WriteFile(root + "/index.csv", listing("../outside/x.zel")); return root; },
       kRefused},
      {"a linked folder",
       [&] {
         ::symlink(dir_.File("outside").c_str(), (root + "/out").c_str());
         zeltest::WriteFile(root + "/index.csv", listing("out/x.zel"));
         return root;
       },
       kRefused},
      {"a linked file",
       [&] {
         ::symlink(dir_.File("outside/x.zel").c_str(), (root + "/l.zel").c_str());
         zeltest::WriteFile(root + "/index.csv", listing("l.zel"));
         return root;
       },
       kRefused},
      {"a FIFO as the index", [&] {
         std::filesystem::remove(root + "/index.csv");
         ::mkfifo((root + "/index.csv").c_str(), 0600);
         return root;
       }, kError},
      {"an over-large index", [&] { sparse(root + "/index.csv", (64ull << 20) + 1); return root; }, kError},
      {"a FIFO as a call",
       [&] {
         ::mkfifo((root + "/f.zel").c_str(), 0600);
         zeltest::WriteFile(root + "/index.csv", listing("f.zel"));
         return root;
       },
       kRefused},
      {"an over-large call",
       [&] {
         sparse(root + "/big.zel", (256ull << 20) + 1);
         zeltest::WriteFile(root + "/index.csv", listing("big.zel"));
         return root;
       },
       kRefused},
      {"a ZIP index that inflates beyond 64 MiB",
       [&] {
         sparse(dir_.File("zeros"), 65ull << 20);
         zipOf(dir_.File("bomb.zip"), {{dir_.File("zeros"), "index.csv"}});
         return dir_.File("bomb.zip");
       },
       kError},
      {"a ZIP call that inflates beyond 256 MiB",
       [&] {
         sparse(dir_.File("zeros"), 257ull << 20);
         zeltest::WriteFile(dir_.File("index.csv"), listing("big.zel"));
         zipOf(dir_.File("bomb2.zip"), {{dir_.File("zeros"), "big.zel"}, {dir_.File("index.csv"), "index.csv"}});
         return dir_.File("bomb2.zip");
       },
       kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(root);
    Archive(disk, root);
    const std::string archive = c.make();
    zel::ArchiveCheck check;
    const auto start = std::chrono::steady_clock::now();
    const bool ran = zel::VerifyArchive(archive, check);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(check.Intact());
    EXPECT_EQ(ran, c.outcome != kError) << check.error;
    EXPECT_EQ(!check.error.empty(), c.outcome == kError);
    EXPECT_EQ(!check.unlisted.empty(), c.outcome == kUnlisted);
    EXPECT_EQ(check.refused.size(), c.outcome == kRefused ? 1u : 0u);
    EXPECT_TRUE(check.changed.empty());
  }
}

// Index cells a spreadsheet would run, bytes that are not UTF-8 and an
// encrypted call: the files stay UTF-8, nothing runs or leaks, and the rows read
// back exactly.
TEST_F(ArchiveIndexTest, IndexCellsNeverRunNorLeak) {
  struct Case {
    std::string path, text, inCsv;
  };
  const std::vector<Case> cases = {
      {"a.zel", "=HYPERLINK(\"x\")", ",\"'=HYPERLINK("}, {"b.zel", "+4930123", ",'+4930123,"},
      {"c.zel", "-2+3", ",'-2+3,"},       {"d.zel", "@SUM(A1)", ",'@SUM(A1),"},
      {"e.zel", "\tx", ",'\tx,"},         {"f.zel", "\rx", ",\"'\rx\","},
      {"g.zel", "'kept", ",''kept,"},     {"=h.zel", "plain", "\r\n=h.zel,"},
      {"M\xFCller.zel", "M\xFC", "\r\nM\\xFCller.zel,"}, {"i.zel", "\\x41 as typed", ",\\x5Cx41 as typed,"},
  };
  zel::ArchiveIndex index;
  for (const Case& c : cases) {
    zel::ArchiveIndexRow row;
    row.path = c.path;
    row.user = row.caller = row.comment = c.text;
    row.sha256 = "00";
    index.Add(row);
  }
  const std::string csv = index.Csv(), html = index.Html();
  auto utf8 = [](const std::string& text) {
    return zel::zip::CZipArchive::NeedsUtf8Flag(text) ||
           std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  EXPECT_TRUE(utf8(csv));
  EXPECT_TRUE(utf8(html));
  for (const Case& c : cases) EXPECT_NE(csv.find(c.inCsv), std::string::npos) << c.inCsv << "\n" << csv;
  zel::ArchiveIndex back;
  ASSERT_TRUE(back.ParseCsv(csv));
  ASSERT_EQ(back.Rows().size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(back.Rows()[i].path, cases[i].path);
    EXPECT_EQ(back.Rows()[i].caller, cases[i].text);
    EXPECT_EQ(back.Rows()[i].comment, cases[i].text);
  }

  const std::string secret = dir_.File("4711-20261207 101507.zel");
  CKlRecordFileHdr header;
  header.SetCallerId("Secret Caller");
  ASSERT_EQ(header.SetBookmark(3, 9), 1);
  ASSERT_TRUE(header.SetEncryption("pass", 2));
  ASSERT_EQ(header.SaveHeader(secret), 1);
  for (const char* passphrase : {"pass", ""}) {
    zel::ArchiveIndexRow row;
    ASSERT_TRUE(zel::ArchiveIndex::Describe(secret, "s.zel", passphrase, row));
    EXPECT_TRUE(row.encrypted);
    EXPECT_EQ(row.user, "4711");
    EXPECT_EQ(row.dateTime, "2026-12-07T10:15:07");
    EXPECT_EQ(row.bookmarkStart, -1);
    zel::ArchiveIndex one;
    one.Add(row);
    EXPECT_EQ(one.Csv().find("Secret"), std::string::npos) << passphrase;
    EXPECT_EQ(one.Html().find("Secret"), std::string::npos) << passphrase;
    EXPECT_NE(one.Csv().find(row.sha256 + ",1\r\n"), std::string::npos);
  }
}
