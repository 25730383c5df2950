#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "recording/CKlFileListEntry.h"
#include "recording/RecordingBuilder.h"
#include "support/TestSupport.h"

// Live heap bytes, for the memory budget of list entries.
namespace {
std::atomic<long long> gLiveBytes{0};
}

void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  gLiveBytes += static_cast<long long>(malloc_usable_size(p));
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  gLiveBytes -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
// The array forms too: sanitizer runtimes take them without passing through the above.
void* operator new[](size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

using zeltest::HeaderFields;

class EntryTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir.File(name);
    zeltest::WriteFile(path, bytes);
    return path;
  }
  zeltest::TempDir dir;
};

TEST_F(EntryTest, PathGivesUserAndDateBeforeLoading) {
  CKlFileListEntry e;
  EXPECT_EQ(e.UserIdText(), "?");
  EXPECT_EQ(e.CallerIdText(), "?");
  EXPECT_EQ(e.DurationText(), "?");
  EXPECT_EQ(e.AuxDurationText(), "?");
  EXPECT_EQ(e.CommentText(), "");

  e.SetPath("/data/calls/4711-20120315 101500.zel");
  EXPECT_EQ(e.UserIdText(), "4711");
  EXPECT_EQ(e.DateTimeText(), "20120315 101500.zel");
  EXPECT_FALSE(e.DetailsLoaded());

  e.SetPath("/data/calls/recording.zel");
  EXPECT_EQ(e.UserIdText(), "?");
  EXPECT_EQ(e.DateTimeText(), "?");

  e.SetPath("/data/backup-2012/4711-20120315.zel");
  EXPECT_EQ(e.UserIdText(), "");
  EXPECT_EQ(e.DateTimeText(), "2012/4711-20120315.zel");

  e.SetPath("J\xc3\xbcrgen-2013.zel");  // no folder at all; UTF-8 name
  EXPECT_EQ(e.UserIdText(), "J\xc3\xbcrgen");
  EXPECT_EQ(e.DateTimeText(), "2013.zel");

  e.SetPath("/x/" + std::string(200, 'u') + "-2" + std::string(200, 'd'));
  EXPECT_EQ(e.UserIdText(), std::string(127, 'u'));
  EXPECT_EQ(e.DateTimeText().size(), 127u);
}

TEST_F(EntryTest, DetailsComeFromTheHeaderOnce) {
  zeltest::ScopedEnv tz("TZ", "UTC0");
  HeaderFields f;
  f.callerId = "M\xfcller";
  f.userId = "Zentrale";
  f.important = 1;
  f.duration = 3725;
  f.auxDuration = 61;
  f.auxCode = 12;
  f.comment = "x<bookmark><bstart>00:00:01</bstart><bend>00:00:05</bend><bookmark>";
  std::string path = Write("4711-20120315 101500.zel", zeltest::BuildPlainFile(f, "audio"));
  CKlFileListEntry e;
  e.SetPath(path);
  e.LoadDetails("");
  EXPECT_TRUE(e.DetailsLoaded());
  EXPECT_FALSE(e.LoadFailed());
  EXPECT_EQ(e.CallerIdText(), "M\xc3\xbcller");
  EXPECT_EQ(e.UserIdText(), "Zentrale");
  EXPECT_EQ(e.Important(), 1u);
  EXPECT_EQ(e.StartTime(), f.startTime);
  EXPECT_EQ(e.Duration(), 3725u);
  EXPECT_EQ(e.DurationText(), "01:02:05");
  EXPECT_EQ(e.AuxDuration(), 61u);
  EXPECT_EQ(e.AuxDurationText(), "00:01:01");
  EXPECT_EQ(e.AuxCode(), 12u);
  EXPECT_EQ(e.CommentText(), f.comment);
  EXPECT_TRUE(e.HasBookmark());
  EXPECT_FALSE(e.Encrypted());
  EXPECT_FALSE(e.DateTimeText().empty());
  EXPECT_LE(e.DateTimeText().size(), 20u);

  // A second call does not read the changed file.
  f.callerId = "other";
  zeltest::WriteFile(path, zeltest::BuildPlainFile(f, "audio"));
  e.LoadDetails("");
  EXPECT_EQ(e.CallerIdText(), "M\xc3\xbcller");

  // Copies take everything, the spare word too.
  e.SetSpare(77);
  CKlFileListEntry copy = e;
  EXPECT_EQ(copy.Spare(), 77u);
  EXPECT_EQ(copy.CommentText(), e.CommentText());
  EXPECT_EQ(copy.Path(), path);
}

TEST_F(EntryTest, UnreadableAndUndecryptableFiles) {
  HeaderFields f;
  std::string enc = Write("enc-2012.zel", zeltest::BuildEncryptedFile(f, "", "right", 0));

  CKlFileListEntry wrong;
  wrong.SetPath(enc);
  wrong.LoadDetails("wrong");
  for (const std::string& t : {std::string(wrong.CallerIdText()), wrong.DurationText(),
                               std::string(wrong.DateTimeText()), std::string(wrong.UserIdText())}) {
    EXPECT_EQ(t, "Decryption error!");
  }
  EXPECT_EQ(wrong.CommentText(), "Decryption error! Unable to decrypt the file using the passphrase specified!");
  EXPECT_TRUE(wrong.Encrypted());
  EXPECT_TRUE(wrong.LoadFailed());
  wrong.LoadDetails("right");  // not retried
  EXPECT_EQ(wrong.CallerIdText(), "Decryption error!");
  wrong.RetryDetails("right");  // a refresh after the passphrase was given
  EXPECT_EQ(wrong.CallerIdText(), f.callerId);
  EXPECT_FALSE(wrong.LoadFailed());

  CKlFileListEntry right;
  right.SetPath(enc);
  right.LoadDetails("right");
  EXPECT_EQ(right.CallerIdText(), f.callerId);
  EXPECT_TRUE(right.Encrypted());
  EXPECT_FALSE(right.LoadFailed());

  HeaderFields unknown;
  unknown.version = 77;
  for (std::string path : {dir.File("missing-2012.zel"), Write("u-2012.zel", zeltest::BuildPlainFile(unknown, "")),
                           Write("s-2012.zel", "abc")}) {
    CKlFileListEntry e;
    e.SetPath(path);
    e.LoadDetails("");
    EXPECT_EQ(e.CallerIdText(), "File error!") << path;
    EXPECT_EQ(e.UserIdText(), "File error!");
    EXPECT_EQ(e.DateTimeText(), "File error!");
    EXPECT_EQ(e.DurationText(), "File error!");
    EXPECT_EQ(e.CommentText(), "File error! Unable to find or open the filename specified!");
    EXPECT_FALSE(e.Encrypted());
    EXPECT_EQ(e.Duration(), 0u);
    EXPECT_EQ(e.StartTime(), 0);
    EXPECT_TRUE(e.LoadFailed());
    // An edit, and a copy, change only what they touch.
    e.SetCommentText("called back");
    const CKlFileListEntry copy(e);
    EXPECT_EQ(copy.CommentText(), "called back");
    EXPECT_EQ(copy.CallerIdText(), "File error!");
    EXPECT_EQ(copy.DurationText(), "File error!");
    EXPECT_EQ(copy.AuxDurationText(), "?");
    EXPECT_TRUE(copy.LoadFailed());
  }
}

// Archiving may leave only the header of a call: nothing is left to play.
TEST_F(EntryTest, HeaderOnlyFilesLastNoTime) {
  HeaderFields f;
  f.duration = 95;
  const struct {
    std::string file;
    const char* passphrase;
    uint32_t duration;
  } cases[] = {{zeltest::BuildPlainFile(f, ""), "", 0},
               {zeltest::BuildPlainFile(f, "a"), "", 95},
               {zeltest::BuildEncryptedFile(f, "", "right", 0), "right", 0},
               {zeltest::BuildEncryptedFile(f, "abc", "right", 0), "right", 95}};
  for (const auto& c : cases) {
    CKlFileListEntry e;
    e.SetPath(Write("h-2012.zel", c.file));
    e.LoadDetails(c.passphrase);
    EXPECT_EQ(e.Duration(), c.duration) << c.file.size();
    EXPECT_EQ(e.DurationText(), c.duration ? "00:01:35" : "00:00:00");
  }
}

TEST_F(EntryTest, BookmarkEditsAndFileSize) {
  std::string path = Write("b-2012.zel", zeltest::BuildPlainFile(HeaderFields{}, std::string(500, 'a')));
  CKlFileListEntry e;
  e.SetPath(path);
  e.ApplyBookmarkEdit("", 10, 30);  // loads the details first
  EXPECT_TRUE(e.DetailsLoaded());
  EXPECT_TRUE(e.HasBookmark());
  e.ApplyBookmarkEdit("", 30, 10);
  EXPECT_FALSE(e.HasBookmark());
  e.ApplyBookmarkEdit("", 10, 30);
  e.ApplyBookmarkEdit("", -1, -1);
  EXPECT_FALSE(e.HasBookmark());
  EXPECT_EQ(e.FileSize(), 1940u);

  CKlFileListEntry missing;
  missing.SetPath(dir.File("none-2012.zel"));
  missing.ApplyBookmarkEdit("", 10, 30);
  EXPECT_FALSE(missing.HasBookmark());
  EXPECT_EQ(missing.FileSize(), 0u);
  CKlFileListEntry folder;
  folder.SetPath(dir.path());
  EXPECT_EQ(folder.FileSize(), 0u);
}

// Lists hold up to 100,000 entries whose comments fill their 1023 characters.
TEST_F(EntryTest, EntriesWithFullCommentsStayUnder2KiB) {
  HeaderFields f;
  f.callerId = std::string(127, 'c');
  f.userId = std::string(127, 'u');
  f.comment = std::string(1023, 'x');
  std::string path = Write("extension 4711-20120315 101500.zel", zeltest::BuildPlainFile(f, ""));
  const int count = 3000;
  std::vector<CKlFileListEntry> entries;
  long long before = gLiveBytes.load();
  entries.reserve(count);
  for (int i = 0; i < count; ++i) {
    CKlFileListEntry e;
    e.SetPath(path);
    e.LoadDetails("");
    entries.push_back(std::move(e));
  }
  long long perEntry = (gLiveBytes.load() - before) / count;
  ASSERT_EQ(entries.back().CommentText().size(), 1023u);
  EXPECT_LT(perEntry, 2048) << "bytes per entry";
  RecordProperty("bytesPerEntry", static_cast<int>(perEntry));
  EXPECT_GT(perEntry, 1023) << "the counter must see the comments";
}

}  // namespace
