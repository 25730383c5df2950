#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <string>

#include "recording/CKlRecordFileHdr.h"
#include "recording/RecordingBuilder.h"
#include "support/TestSupport.h"

namespace {

using zeltest::HeaderFields;

const std::string kPass = "Geheim 2012";

struct OpenFile {
  explicit OpenFile(const std::string& path, const char* mode = "rb") : f(std::fopen(path.c_str(), mode)) {}
  ~OpenFile() {
    if (f) std::fclose(f);
  }
  FILE* f;
};

int ReadFrom(CKlRecordFileHdr& hdr, const std::string& path, const std::string& pass, long* pos = nullptr) {
  OpenFile file(path);
  EXPECT_NE(file.f, nullptr);
  if (!file.f) return -99;
  std::fseek(file.f, 77, SEEK_SET);  // the reader must not depend on the position
  int result = hdr.ReadHeader(file.f, pass);
  if (pos) *pos = std::ftell(file.f);
  return result;
}

class HeaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir.File(name);
    zeltest::WriteFile(path, bytes);
    return path;
  }
  zeltest::TempDir dir;
};

TEST_F(HeaderTest, NewHeaderDefaults) {
  time_t before = std::time(nullptr);
  CKlRecordFileHdr hdr;
  EXPECT_EQ(hdr.Version(), 4u);
  EXPECT_EQ(hdr.HeaderSize(), 1440u);
  EXPECT_EQ(hdr.FormatTag(), -1);
  EXPECT_EQ(hdr.AuxCode(), 0xFFFFFFFFu);
  EXPECT_EQ(hdr.SiteCode(), "Unknown");
  EXPECT_EQ(hdr.CallerId(), "");
  EXPECT_FALSE(hdr.IsEncrypted());
  EXPECT_GE(hdr.StartTime(), before);
  EXPECT_LE(hdr.StartTime(), std::time(nullptr));
}

TEST_F(HeaderTest, Version4FieldsAndByteExactWriteBack) {
  HeaderFields f;
  f.callerId = "M\xfcller \x80";  // Windows-1252 umlaut and euro sign
  f.comment = "Kunde ruft zur\xfc" "ck";
  f.userId = "4711";
  f.siteCode = "HQ";
  f.important = 1;
  f.duration = 95;
  f.reserved1 = 0xDEADBEEF;
  f.reserved2 = 0x01020304;
  f.auxCode = 17;
  f.auxDuration = 3725;
  std::string audio = zeltest::Filler(5000, 1);
  std::string original = zeltest::BuildPlainFile(f, audio);
  std::string path = Write("a.zel", original);

  CKlRecordFileHdr hdr;
  long pos = 0;
  ASSERT_EQ(ReadFrom(hdr, path, "", &pos), 1440);
  EXPECT_EQ(pos, 1440);
  EXPECT_EQ(hdr.FormatTag(), 49);
  EXPECT_EQ(hdr.Important(), 1u);
  EXPECT_EQ(hdr.CallerId(), f.callerId);
  EXPECT_EQ(hdr.CallerIdUtf8(), "M\xc3\xbcller \xe2\x82\xac");
  EXPECT_EQ(hdr.CommentUtf8(), "Kunde ruft zur\xc3\xbc" "ck");
  EXPECT_EQ(hdr.UserId(), "4711");
  EXPECT_EQ(hdr.SiteCode(), "HQ");
  EXPECT_EQ(hdr.StartTime(), f.startTime);
  EXPECT_EQ(hdr.Duration(), 95u);
  EXPECT_EQ(hdr.AuxCode(), 17u);
  EXPECT_EQ(hdr.AuxDuration(), 3725u);
  EXPECT_EQ(hdr.Reserved1(), 0xDEADBEEFu);
  EXPECT_EQ(hdr.Reserved2(), 0x01020304u);

  ASSERT_EQ(hdr.SaveHeader(path), 1);
  EXPECT_EQ(zeltest::ReadFile(path), original);
}

TEST_F(HeaderTest, Version1KeepsItsShortLayout) {
  HeaderFields f;
  f.version = 1;
  f.headerSize = 1176;
  f.formatTag = 6;
  f.siteCode = "VLUK";  // beyond a version-1 header: must not be read
  std::string audio = zeltest::Filler(800, 2);
  std::string original = zeltest::BuildPlainFile(f, audio);
  std::string path = Write("v1.zel", original);

  CKlRecordFileHdr hdr;
  long pos = 0;
  ASSERT_EQ(ReadFrom(hdr, path, "", &pos), 1176);
  EXPECT_EQ(pos, 1176);
  EXPECT_EQ(hdr.SiteCode(), "n/a");
  EXPECT_EQ(hdr.UserId(), "");
  EXPECT_EQ(hdr.Duration(), 60u);
  EXPECT_EQ(hdr.LocalStartTime(), f.startTime);
  hdr.SetCallerId("new caller");
  ASSERT_EQ(hdr.SaveHeader(path), 1);
  std::string after = zeltest::ReadFile(path);
  ASSERT_EQ(after.size(), original.size());
  EXPECT_EQ(zeltest::Le32(after, 0), 1u);
  EXPECT_EQ(after.substr(16, 10), "new caller");
  EXPECT_EQ(after.substr(1176), audio);
}

TEST_F(HeaderTest, Versions2And3BecomeVersion4AndStoredSizeIsIgnored) {
  for (uint32_t version : {2u, 3u}) {
    HeaderFields f;
    f.version = version;
    f.headerSize = 999;
    std::string audio = zeltest::Filler(3000, version);
    std::string path = Write("v" + std::to_string(version) + ".zel", zeltest::BuildPlainFile(f, audio));
    CKlRecordFileHdr hdr;
    long pos = 0;
    ASSERT_EQ(ReadFrom(hdr, path, "", &pos), 1440);
    EXPECT_EQ(pos, 1440);
    EXPECT_EQ(hdr.HeaderSize(), 1440u);
    ASSERT_EQ(hdr.SaveHeader(path), 1);
    std::string after = zeltest::ReadFile(path);
    EXPECT_EQ(zeltest::Le32(after, 0), 4u);
    EXPECT_EQ(zeltest::Le32(after, 4), 1440u);
    EXPECT_EQ(after.substr(1440), audio);
  }
}

TEST_F(HeaderTest, Version4DurationDerivedFromAudioLength) {
  struct Case {
    uint32_t version;
    int32_t tag;
    size_t audioBytes;
    uint32_t expected;
  } cases[] = {
      {4, 49, 33000, 20}, {4, 17, 256000, 63}, {4, 7, 7999, 0}, {4, 6, 16000, 2},
      {4, 99, 80000, 0},  {3, 49, 33000, 0},   {4, 49, 0, 0},
  };
  for (const Case& c : cases) {
    HeaderFields f;
    f.version = c.version;
    f.formatTag = c.tag;
    f.duration = 0;
    std::string path = Write("d.zel", zeltest::BuildPlainFile(f, std::string(c.audioBytes, 'x')));
    CKlRecordFileHdr hdr;
    long pos = 0;
    ASSERT_EQ(ReadFrom(hdr, path, "", &pos), 1440);
    EXPECT_EQ(pos, 1440) << "the derivation must not leave the file at its end";
    EXPECT_EQ(hdr.Duration(), c.expected) << "version " << c.version << " tag " << c.tag;
    CKlRecordFileHdr loaded;
    ASSERT_EQ(loaded.LoadHeader(path, ""), 1440);
    EXPECT_EQ(loaded.Duration(), c.expected) << "loaded: version " << c.version << " tag " << c.tag;
  }
  // A file cut inside its header has no audio, not four billion bytes of it.
  HeaderFields f;
  f.formatTag = 6;
  f.duration = 0;
  std::string path = Write("cut.zel", zeltest::BuildPlainFile(f, "").substr(0, 1000));
  CKlRecordFileHdr hdr;
  ASSERT_EQ(ReadFrom(hdr, path, ""), 1440);
  EXPECT_EQ(hdr.Duration(), 0u);
  CKlRecordFileHdr loaded;
  ASSERT_EQ(loaded.LoadHeader(path, ""), 1440);
  EXPECT_EQ(loaded.Duration(), 0u);
}

TEST_F(HeaderTest, LocalStartTimeShiftsOnlyForTheTwoSiteCodes) {
  zeltest::ScopedEnv tz("TZ", "EST5EDT,M3.2.0,M11.1.0");  // standard time 5 h west; DST in summer
  CKlRecordFileHdr hdr;
  hdr.SetStartTime(1341000000);  // a July date: daylight saving must not count
  for (const char* site : {"n/a", "Unknown", "vluk", "VLUK ", "zovar"}) {
    hdr.SetSiteCode(site);
    EXPECT_EQ(hdr.LocalStartTime(), 1341000000) << site;
  }
  hdr.SetSiteCode("VLUK");
  EXPECT_EQ(hdr.LocalStartTime(), 1341000000 + 5 * 3600);
  hdr.SetSiteCode("ZOvAR");
  EXPECT_EQ(hdr.LocalStartTime(), 1341000000 + 5 * 3600);
}

TEST_F(HeaderTest, TimeTexts) {
  EXPECT_EQ(CKlRecordFileHdr::FormatHms(3725), "01:02:05");
  EXPECT_EQ(CKlRecordFileHdr::FormatHms(360000), "100:00:00");
  EXPECT_EQ(CKlRecordFileHdr::FormatHms(0), "00:00:00");
  EXPECT_EQ(CKlRecordFileHdr::FormatHms(35999), "09:59:59");
  EXPECT_EQ(CKlRecordFileHdr::FormatHms(4294967295u), "1193046:28:15");

  const char* old = std::setlocale(LC_TIME, nullptr);
  std::string saved = old ? old : "C";
  std::setlocale(LC_TIME, "C");
  zeltest::ScopedEnv tz("TZ", "UTC0");
  CKlRecordFileHdr hdr;
  hdr.SetStartTime(1331806500);  // 2012-03-15 10:15:00 UTC
  hdr.SetSiteCode("Unknown");
  EXPECT_EQ(hdr.FormatDateTime(), "03/15/12 10:15:00");
  zeltest::ScopedEnv tz2("TZ", "XXX-2");
  hdr.SetSiteCode("VLUK");  // two hours east: the offset is subtracted
  EXPECT_EQ(hdr.FormatDateTime(), "03/15/12 08:15:00");

  // A 12-hour locale keeps its marker within the 20 characters.
  hdr.SetSiteCode("Unknown");
  if (std::setlocale(LC_TIME, "en_US.UTF-8") != nullptr) {
    EXPECT_EQ(hdr.FormatDateTime(), "03/15/2012 10:15 AM");
    hdr.SetStartTime(1331806500 + 5 * 3600 + 59);
    EXPECT_EQ(hdr.FormatDateTime(), "03/15/2012 03:15 PM");
  } else {
    ADD_FAILURE() << "locale en_US.UTF-8 is missing (package locales-all)";
  }
  if (std::setlocale(LC_TIME, "de_DE.UTF-8") != nullptr) {
    hdr.SetStartTime(1331806500);
    EXPECT_EQ(hdr.FormatDateTime(), "15.03.2012 10:15:00");
  } else {
    ADD_FAILURE() << "locale de_DE.UTF-8 is missing (package locales-all)";
  }
  std::setlocale(LC_TIME, saved.c_str());
}

TEST_F(HeaderTest, BookmarkLayoutOnEmptyComment) {
  CKlRecordFileHdr hdr;
  ASSERT_EQ(hdr.SetBookmark(65, 130), 1);
  std::string c = hdr.Comment();
  ASSERT_EQ(c.size(), 1023u);
  EXPECT_EQ(c.substr(0, 24), "Bookmark at:  00:01:05\r\n");
  EXPECT_EQ(c.substr(24, 907 - 24), std::string(907 - 24, ' '));
  EXPECT_EQ(c.substr(907),
            "\r\n\r\n### System information do no edit! ###\r\n<bookmark>\r\n<bstart>00:01:05</bstart>\r\n"
            "<bend>00:02:10</bend>\r\n<bookmark>");
  int s = -5, e = -5;
  ASSERT_TRUE(hdr.GetBookmark(s, e));
  EXPECT_EQ(s, 65);
  EXPECT_EQ(e, 130);
}

TEST_F(HeaderTest, BookmarkReplacedInPlaceAndRemoved) {
  CKlRecordFileHdr hdr;
  hdr.SetComment("Customer wants a call back");
  ASSERT_EQ(hdr.SetBookmark(10, 20), 1);
  ASSERT_EQ(hdr.SetBookmark(3600, 7322), 1);
  std::string c = hdr.Comment();
  ASSERT_EQ(c.size(), 1023u);
  EXPECT_EQ(c.substr(0, 50), "Bookmark at:  01:00:00\r\nCustomer wants a call back");
  EXPECT_EQ(c.find("Bookmark at: ", 1), std::string::npos);
  EXPECT_EQ(c.find("### System"), c.rfind("### System"));
  int s = 0, e = 0;
  ASSERT_TRUE(hdr.GetBookmark(s, e));
  EXPECT_EQ(s, 3600);
  EXPECT_EQ(e, 7322);

  ASSERT_EQ(hdr.SetBookmark(-1, -1), 1);
  c = hdr.Comment();
  EXPECT_EQ(c.size(), 1023u);
  EXPECT_EQ(c.substr(0, 26), "Customer wants a call back");
  EXPECT_EQ(c.find_first_not_of(' ', 26), std::string::npos);
  EXPECT_FALSE(hdr.GetBookmark(s, e));

  // Nothing to remove: untouched.
  hdr.SetComment("plain");
  EXPECT_EQ(hdr.SetBookmark(-1, -1), 1);
  EXPECT_EQ(hdr.Comment(), "plain");
  // Pairs that are neither a bookmark nor the removal change nothing.
  for (auto [a, b] : {std::pair{10, 10}, {-1, 5}, {30, 10}, {-2, -2}, {5, -1}}) {
    EXPECT_EQ(hdr.SetBookmark(a, b), 0) << a << "," << b;
    EXPECT_EQ(hdr.Comment(), "plain");
  }
}

TEST_F(HeaderTest, LongCommentLosesItsEndToTheTrailer) {
  CKlRecordFileHdr hdr;
  hdr.SetComment(std::string(1023, 'a'));
  ASSERT_EQ(hdr.SetBookmark(1, 2), 1);
  std::string c = hdr.Comment();
  ASSERT_EQ(c.size(), 1023u);
  EXPECT_EQ(c.substr(24, 907 - 24), std::string(907 - 24, 'a'));
  int s = 0, e = 0;
  EXPECT_TRUE(hdr.GetBookmark(s, e));
  EXPECT_EQ(e, 2);
}

TEST_F(HeaderTest, BookmarkParsingRejectsDamagedTrailers) {
  CKlRecordFileHdr hdr;
  int s = 0, e = 0;
  for (std::string comment : {
           std::string("<bookmark><bstart>00:00:01</bstart><bend>00:00:02</bend><bookmark>"),  // p1 == 0
           std::string("x<bookmark><bstart>00:00:01</bstart><bend>00:00:02</bend>"),  // one marker
           std::string("x<bookmark><bstart>00:00:01</bstart><bookmark>"),             // no <bend>
           std::string("x<bookmark><bstart>ab:cd:ef</bstart><bend>00:00:02</bend><bookmark>"),
           std::string("x<bookmark><bstart>00:00:01</bstart><bend>00:00"),  // end cut short
       }) {
    hdr.SetComment(comment);
    EXPECT_FALSE(hdr.GetBookmark(s, e)) << comment;
  }
  hdr.SetComment("x<bookmark><bstart> 1:2:3</bstart><bend>0:0:9999</bend><bookmark>");
  ASSERT_TRUE(hdr.GetBookmark(s, e));
  EXPECT_EQ(s, 3723);
  EXPECT_EQ(e, 9999);
}

TEST_F(HeaderTest, EncryptedHeaderReadWrittenBackAndReadAgain) {
  HeaderFields f;
  f.callerId = "+49 30 1234";
  f.comment = "secret call";
  std::string audio = zeltest::Filler(66560 + 1000 + 7, 5);
  for (int code = 0; code <= 2; ++code) {
    std::string original = zeltest::BuildEncryptedFile(f, audio, kPass, code);
    std::string path = Write("enc.zel", original);
    CKlRecordFileHdr hdr;
    long pos = 0;
    ASSERT_EQ(ReadFrom(hdr, path, kPass, &pos), 1440) << "code " << code;
    EXPECT_EQ(pos, 1488);
    EXPECT_TRUE(hdr.IsEncrypted());
    EXPECT_EQ(hdr.KeySizeCode(), code);
    EXPECT_EQ(hdr.KeyString(), zeltest::TestKeyString(kPass));
    EXPECT_EQ(hdr.Version(), 4u);
    EXPECT_EQ(hdr.CallerId(), f.callerId);
    EXPECT_EQ(hdr.Comment(), f.comment);

    // Untouched: the same bytes.
    ASSERT_EQ(hdr.SaveHeader(path), 1);
    EXPECT_EQ(zeltest::ReadFile(path), original);

    // With a bookmark: audio unchanged, header readable with the same passphrase.
    ASSERT_EQ(hdr.SetBookmark(5, 9), 1);
    ASSERT_EQ(hdr.SaveHeader(path), 1);
    std::string after = zeltest::ReadFile(path);
    ASSERT_EQ(after.size(), original.size());
    EXPECT_EQ(after.substr(0, 48), original.substr(0, 48));
    EXPECT_EQ(after.substr(1488), original.substr(1488));
    CKlRecordFileHdr again;
    ASSERT_EQ(again.LoadHeader(path, kPass), 1440);
    int s = 0, e = 0;
    ASSERT_TRUE(again.GetBookmark(s, e));
    EXPECT_EQ(s, 5);
    EXPECT_EQ(e, 9);
    EXPECT_EQ(again.CallerId(), f.callerId);
  }
}

TEST_F(HeaderTest, WrongOrMissingPassphraseLeavesZeroedEncryptedRecordThatIsNeverWritten) {
  HeaderFields f;
  std::string original = zeltest::BuildEncryptedFile(f, zeltest::Filler(3000, 8), kPass, 0);
  std::string path = Write("enc.zel", original);
  for (std::string pass : {std::string(""), std::string("geheim 2012"), kPass + " "}) {
    CKlRecordFileHdr hdr;
    ASSERT_EQ(ReadFrom(hdr, path, pass), 0) << pass;
    EXPECT_TRUE(hdr.IsEncrypted());
    EXPECT_EQ(hdr.CallerId(), "");
    EXPECT_EQ(hdr.FormatTag(), 0);
    EXPECT_FALSE(hdr.IsWritable());
    EXPECT_EQ(hdr.SaveHeader(path), 0);
    EXPECT_EQ(zeltest::ReadFile(path), original);
  }
  // An unusable key size code fails the read although the passphrase matches.
  std::string bad = original;
  bad[4] = 7;
  path = Write("badcode.zel", bad);
  CKlRecordFileHdr hdr;
  EXPECT_EQ(ReadFrom(hdr, path, kPass), 0);
}

TEST_F(HeaderTest, SetEncryptionWritesReadableVersion5Header) {
  CKlRecordFileHdr hdr;
  hdr.SetCallerId("demo");
  ASSERT_TRUE(hdr.SetEncryption(kPass, 2));
  EXPECT_FALSE(hdr.SetEncryption(kPass, 3));
  std::string path = dir.File("new.zel");
  ASSERT_EQ(hdr.SaveHeader(path), 1);
  std::string bytes = zeltest::ReadFile(path);
  ASSERT_EQ(bytes.size(), 1488u);
  HeaderFields f;  // compare with the builder's prefix for the same passphrase
  EXPECT_EQ(bytes.substr(0, 48), zeltest::BuildEncryptedFile(f, "", kPass, 2).substr(0, 48));
  CKlRecordFileHdr back;
  ASSERT_EQ(back.LoadHeader(path, kPass), 1440);
  EXPECT_EQ(back.CallerId(), "demo");
}

TEST_F(HeaderTest, LoadHeaderCachesResults) {
  HeaderFields f;
  std::string path = Write("c.zel", zeltest::BuildPlainFile(f, "abc"));
  CKlRecordFileHdr hdr;
  ASSERT_EQ(hdr.LoadHeader(path, ""), 1440);
  std::remove(path.c_str());
  EXPECT_EQ(hdr.LoadHeader(path, ""), 1440);  // not read again
  EXPECT_EQ(hdr.CallerId(), f.callerId);

  CKlRecordFileHdr missing;
  EXPECT_EQ(missing.LoadHeader(dir.File("none.zel"), ""), 0);
  EXPECT_EQ(missing.SiteCode(), "Load failed");
  EXPECT_EQ(missing.FormatTag(), -1);
  EXPECT_EQ(missing.LoadHeader(dir.File("none.zel"), ""), 0);  // a failure stays a failure
  EXPECT_EQ(missing.LoadHeader("", ""), 0);

  HeaderFields unknown;
  unknown.version = 9;
  std::string upath = Write("u.zel", zeltest::BuildPlainFile(unknown, "abc"));
  CKlRecordFileHdr u;
  EXPECT_EQ(u.LoadHeader(upath, ""), -1);
  EXPECT_EQ(u.LoadHeader(upath, ""), -1);

  // A decryption failure is retried, so another passphrase can open the file.
  std::string epath = Write("e.zel", zeltest::BuildEncryptedFile(f, "", kPass, 1));
  CKlRecordFileHdr e;
  EXPECT_EQ(e.LoadHeader(epath, "wrong"), 0);
  EXPECT_EQ(e.LoadHeader(epath, kPass), 1440);
}

TEST_F(HeaderTest, LoadHeaderOpensTheNameInTheGivenFolder) {
  HeaderFields f;
  f.callerId = "in the folder";
  std::string path = Write("n.zel", zeltest::BuildPlainFile(f, "abc"));
  zeltest::TempDir other;
  int folder = ::open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  // The folder part of the path is not looked up again: only the name counts.
  CKlRecordFileHdr hdr;
  EXPECT_EQ(hdr.LoadHeader(other.File("n.zel"), "", folder), 1440);
  EXPECT_EQ(hdr.CallerId(), "in the folder");
  CKlRecordFileHdr missing;
  EXPECT_EQ(missing.LoadHeader(path + "x", "", folder), 0);
  EXPECT_EQ(missing.SiteCode(), "Load failed");
  ::close(folder);
}

TEST_F(HeaderTest, SaveHeaderReportsWriteErrorsAndCreatesHeaderOnlyFiles) {
  CKlRecordFileHdr hdr;
  hdr.SetCallerId("only header");
  std::string fresh = dir.File("fresh.zel");
  ASSERT_EQ(hdr.SaveHeader(fresh), 1);
  std::string bytes = zeltest::ReadFile(fresh);
  ASSERT_EQ(bytes.size(), 1440u);
  EXPECT_EQ(bytes.substr(16, 11), "only header");

  EXPECT_EQ(hdr.SaveHeader(dir.File("no/such/folder.zel")), 0);
  if (zeltest::FileExists("/dev/full")) {
    EXPECT_EQ(hdr.SaveHeader("/dev/full"), 0);
  }

  if (::geteuid() != 0) {  // root ignores permissions
    ::chmod(fresh.c_str(), 0444);
    hdr.SetCallerId("changed");
    EXPECT_EQ(hdr.SaveHeader(fresh), 0);
    EXPECT_EQ(zeltest::ReadFile(fresh), bytes);
  }

  // Headers that could not be read are never written over a file.
  HeaderFields f;
  f.version = 42;
  std::string original = zeltest::BuildPlainFile(f, "audio");
  std::string path = Write("v42.zel", original);
  CKlRecordFileHdr unknown;
  ASSERT_EQ(ReadFrom(unknown, path, ""), -1);
  EXPECT_EQ(unknown.SaveHeader(path), 0);
  std::string shortPath = Write("short.zel", "abc");
  CKlRecordFileHdr broken;
  ASSERT_EQ(ReadFrom(broken, shortPath, ""), 0);
  EXPECT_EQ(broken.CallerId(), "ERROR!");
  EXPECT_EQ(broken.Comment(), "Disk or network error occured while reading file!");
  EXPECT_EQ(broken.SaveHeader(shortPath), 0);
  EXPECT_EQ(zeltest::ReadFile(shortPath), "abc");
  EXPECT_EQ(zeltest::ReadFile(path), original);
}

// Reads `bytes` from memory, as from a file of that content.
int ReadBytes(CKlRecordFileHdr& hdr, const std::string& bytes, const std::string& pass, long* pos = nullptr) {
  std::string copy = bytes;
  FILE* file = fmemopen(copy.data(), copy.size(), "rb");
  EXPECT_NE(file, nullptr);
  if (!file) return -99;
  int result = hdr.ReadHeader(file, pass);
  if (pos) *pos = std::ftell(file);
  std::fclose(file);
  return result;
}

// Damaged files: every truncation and random bytes give a defined result, never a
// crash, and a successful read always leaves the file at the audio.
TEST_F(HeaderTest, TruncatedAndRandomFilesNeverCrash) {
  HeaderFields f;
  f.duration = 0;
  std::string plain = zeltest::BuildPlainFile(f, zeltest::Filler(100, 3));
  std::string encrypted = zeltest::BuildEncryptedFile(f, zeltest::Filler(100, 3), kPass, 0);
  {
    CKlRecordFileHdr hdr;
    EXPECT_EQ(ReadFrom(hdr, Write("empty.zel", ""), ""), 0);
    EXPECT_EQ(hdr.CallerId(), "ERROR!");
    EXPECT_EQ(hdr.ReadHeader(nullptr, ""), 0);
  }
  for (size_t len = 1; len <= plain.size(); ++len) {
    CKlRecordFileHdr hdr;
    long pos = 0;
    int result = ReadBytes(hdr, plain.substr(0, len), "", &pos);
    EXPECT_EQ(result, len < 8 ? 0 : 1440) << len;
    if (result == 1440) {
      EXPECT_EQ(pos, std::min<long>(static_cast<long>(len), 1440));  // memory cannot seek past its end
    }
  }
  for (size_t len = 1; len <= encrypted.size(); ++len) {
    CKlRecordFileHdr hdr;
    long pos = 0;
    int result = ReadBytes(hdr, encrypted.substr(0, len), kPass, &pos);
    EXPECT_EQ(result, len < 1488 ? 0 : 1440) << len;
    if (result == 1440) {
      EXPECT_EQ(pos, 1488);
    }
    EXPECT_EQ(hdr.IsEncrypted(), len >= 8);
  }
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    std::string bytes = zeltest::Filler(1 + seed * 7 % 1600, seed);
    if (seed % 3 == 0 && bytes.size() >= 4) {
      bytes[0] = static_cast<char>(seed % 6);  // known versions too
      bytes[1] = bytes[2] = bytes[3] = 0;
    }
    CKlRecordFileHdr hdr;
    int result = ReadBytes(hdr, bytes, seed % 2 ? kPass : "");
    EXPECT_TRUE(result == 0 || result == -1 || result == 1176 || result == 1440) << result;
    int s = 0, e = 0;
    hdr.GetBookmark(s, e);
    EXPECT_LE(hdr.FormatDateTime().size(), 80u);
  }
}

// The header is rewritten in place: a writer killed at any moment leaves the audio
// byte for byte as it was and the file at its length.
TEST_F(HeaderTest, KilledWriterNeverTouchesTheAudio) {
  HeaderFields f;
  std::string audio = zeltest::Filler(200000, 11);
  std::string original = zeltest::BuildPlainFile(f, audio);
  std::string path = Write("k.zel", original);
  for (int round = 0; round < 3; ++round) {
    int saved[2];
    ASSERT_EQ(::pipe(saved), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(saved[0]);
      CKlRecordFileHdr hdr;
      if (hdr.LoadHeader(path, "") != 1440) ::_exit(3);
      for (int i = 0;; ++i) {
        hdr.SetBookmark(i % 50, i % 50 + 1 + round);
        if (hdr.SaveHeader(path) != 1) ::_exit(4);
        if (i == 0 && ::write(saved[1], "s", 1) != 1) ::_exit(5);
      }
    }
    ::close(saved[1]);
    // The kill must land while the writer is saving, after at least one save.
    char done = 0;
    const bool wrote = ::read(saved[0], &done, 1) == 1;
    ::close(saved[0]);
    ::usleep(5000 + round * 10000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed with " << WEXITSTATUS(status);
    ASSERT_TRUE(wrote) << "the writer never saved";
    std::string now = zeltest::ReadFile(path);
    ASSERT_EQ(now.size(), original.size());
    EXPECT_EQ(now.substr(1440), audio);
    CKlRecordFileHdr hdr;
    ASSERT_EQ(hdr.LoadHeader(path, ""), 1440);
    EXPECT_EQ(hdr.CallerId(), f.callerId);
    int start = 0, end = 0;
    EXPECT_TRUE(hdr.GetBookmark(start, end)) << "a saved header carries a bookmark";
  }
}

TEST_F(HeaderTest, Version5KeyCheckIsWrittenBackNulPadded) {
  HeaderFields f;
  std::string original = zeltest::BuildEncryptedFile(f, zeltest::Filler(3000, 2), kPass, 0);
  // Bytes after the key string's end in the stored field, as some files carry.
  for (size_t i = 8 + 33; i < 48; ++i) original[i] = static_cast<char>('Z' ^ 0x80);
  std::string path = Write("check.zel", original);
  CKlRecordFileHdr hdr;
  ASSERT_EQ(hdr.LoadHeader(path, kPass), 1440);
  ASSERT_EQ(hdr.SetBookmark(1, 2), 1);
  ASSERT_EQ(hdr.SaveHeader(path), 1);
  std::string prefix = zeltest::ReadFile(path).substr(0, 48);
  const std::string key = zeltest::TestKeyString(kPass);
  for (size_t i = 0; i < 40; ++i) {
    const unsigned char want = (i < key.size() ? static_cast<unsigned char>(key[i]) : 0) ^ 0x80;
    EXPECT_EQ(static_cast<unsigned char>(prefix[8 + i]), want) << "byte " << i;
  }
  CKlRecordFileHdr again;
  EXPECT_EQ(again.LoadHeader(path, kPass), 1440);
}

}  // namespace
