// The recording edits against real files: each change through the header alone and
// through the player's copy, and the faults that must give false, never success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "audio/CPlaybackManager.h"
#include "audio/CRecordingEdits.h"
#include "recording/CKlRecordFileHdr.h"
#include "tests/audioout/AudioOutSupport.h"

using namespace zeltest;

namespace {

enum class Op { Important, Comment, Bookmark, Trash, Copy };
// What lies at the call's path: the call, nothing, a folder, a file too short for a
// header, or (for a user the system holds to permissions) a read-only call.
enum class Place { Call, Missing, Folder, Damaged, ReadOnly };

struct Case {
  const char* name;
  Op op;
  Place place;
  bool held;               // the player holds the call (loaded before the fault is planted)
  bool ok;                 // the edit succeeds
  const char* target = "out";  // Copy: a new folder, the call's own ("."), or a missing one
  bool noTrash = false;    // the data folder cannot be made, so neither can the home trash
};

const Case kCases[] = {
    {"important, header alone", Op::Important, Place::Call, false, true},
    {"important, through the player", Op::Important, Place::Call, true, true},
    {"important, missing", Op::Important, Place::Missing, false, false},
    {"important, gone from under the player", Op::Important, Place::Missing, true, false},
    {"important, a folder", Op::Important, Place::Folder, false, false},
    {"important, damaged", Op::Important, Place::Damaged, false, false},
    {"important, read-only", Op::Important, Place::ReadOnly, false, false},
    {"comment, header alone", Op::Comment, Place::Call, false, true},
    {"comment, through the player", Op::Comment, Place::Call, true, true},
    {"comment, missing", Op::Comment, Place::Missing, false, false},
    {"comment, read-only", Op::Comment, Place::ReadOnly, false, false},
    {"bookmark, header alone", Op::Bookmark, Place::Call, false, true},
    {"bookmark, through the player", Op::Bookmark, Place::Call, true, true},
    {"bookmark, damaged", Op::Bookmark, Place::Damaged, false, false},
    {"trash", Op::Trash, Place::Call, false, true},
    {"trash, player lets go", Op::Trash, Place::Call, true, true},
    {"trash, missing", Op::Trash, Place::Missing, false, false},
    {"trash, no trash can be made", Op::Trash, Place::Call, false, false, "out", true},
    {"copy", Op::Copy, Place::Call, false, true},
    {"copy, held by the player", Op::Copy, Place::Call, true, true},
    {"copy onto itself", Op::Copy, Place::Call, false, false, "."},
    {"copy into a missing folder", Op::Copy, Place::Call, false, false, "none"},
    {"copy, missing", Op::Copy, Place::Missing, false, false},
};

const char kComment[] = "Call back on Monday";

CKlRecordFileHdr HeaderOf(const std::string& path) {
  CKlRecordFileHdr header;
  EXPECT_NE(header.LoadHeader(path, ""), 0);
  return header;
}

TEST(RecordingEdits, EachEditSucceedsOrSaysItFailed) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.place == Place::ReadOnly && ::geteuid() == 0) continue;  // root ignores permissions
    XdgSandbox xdg;
    TempDir dir;
    std::optional<ScopedEnv> noData;
    if (c.noTrash) {
      WriteFile(dir.File("plain"), "x");
      noData.emplace("XDG_DATA_HOME", dir.File("plain/data"));
    }
    CPlaybackManager player;
    std::string path = MakeRecording(dir, "Anna-20260101.zel", Speech(16000));
    ASSERT_FALSE(path.empty());
    if (c.held) {
      ASSERT_TRUE(player.Load(path, ""));
    }
    if (c.place == Place::Missing) std::filesystem::remove(path);
    if (c.place == Place::Folder) {
      std::filesystem::remove(path);
      std::filesystem::create_directory(path);
    }
    if (c.place == Place::Damaged) WriteFile(path, "abc");
    if (c.place == Place::ReadOnly) ::chmod(path.c_str(), 0444);
    const bool isFile = c.place != Place::Missing && c.place != Place::Folder;
    const std::string before = isFile ? ReadFile(path) : std::string();

    CRecordingEdits edits(&player, "");
    int changed = 0, released = 0;
    edits.onPlayerChanged = [&](const std::string& p) {
      EXPECT_EQ(p, path);
      ++changed;
    };
    edits.releasePlayer = [&] {
      ++released;
      player.Close();
    };
    const std::string folder = c.target == std::string(".") ? dir.path() : dir.File(c.target);
    if (c.target == std::string("out")) std::filesystem::create_directory(folder);
    bool ok = false;
    std::optional<std::string> stored;
    switch (c.op) {
      case Op::Important: ok = edits.SetImportant(path, true); break;
      case Op::Comment: stored = edits.SetComment(path, kComment), ok = stored.has_value(); break;
      case Op::Bookmark: ok = edits.SetBookmark(path, 1, 2); break;
      case Op::Trash: ok = edits.Trash(path); break;
      case Op::Copy: ok = edits.CopyNative(path, folder); break;
    }
    EXPECT_EQ(ok, c.ok);
    const bool written = ok && (c.op == Op::Important || c.op == Op::Comment || c.op == Op::Bookmark);
    EXPECT_EQ(changed, written && c.held ? 1 : 0);
    EXPECT_EQ(released, c.op == Op::Trash && c.held ? 1 : 0);
    if (!ok) {
      // Nothing changed: not the file, nor (but for a trash that let it go) the player.
      EXPECT_EQ(isFile ? ReadFile(path) : std::string(), before);
      EXPECT_EQ(FileExists(path), c.place != Place::Missing);
      if (c.op != Op::Trash) {
        EXPECT_EQ(player.IsLoaded(), c.held);
      }
      continue;
    }
    switch (c.op) {
      case Op::Important:
        EXPECT_EQ(HeaderOf(path).Important(), 1u);
        EXPECT_FALSE(player.Recording().HeaderDirty());
        break;
      case Op::Comment:
        EXPECT_EQ(HeaderOf(path).CommentUtf8(), *stored);
        EXPECT_EQ(stored->substr(0, sizeof kComment - 1), kComment);
        break;
      case Op::Bookmark: {
        int start = -1, end = -1;
        EXPECT_TRUE(HeaderOf(path).GetBookmark(start, end));
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(1, 2));
        break;
      }
      case Op::Trash: {
        EXPECT_FALSE(FileExists(path));
        EXPECT_FALSE(player.IsLoaded());
        const std::string trash = xdg.DataHome() + "/Trash";
        EXPECT_EQ(ReadFile(trash + "/files/Anna-20260101.zel"), before);
        const std::string real = std::filesystem::canonical(dir.path()).string() + "/Anna-20260101.zel";
        EXPECT_NE(ReadFile(trash + "/info/Anna-20260101.zel.trashinfo").find("Path=" + real + "\n"),
                  std::string::npos);
        break;
      }
      case Op::Copy:
        EXPECT_EQ(ReadFile(folder + "/Anna-20260101.zel"), before);
        break;
    }
  }
}

TEST(RecordingEdits, TrashKeepsEveryCallOfTheSameName) {
  XdgSandbox xdg;
  TempDir dir;
  CRecordingEdits edits(nullptr, "");
  const std::string path = dir.File("Ben.zel");
  for (const char* content : {"first", "second"}) {
    WriteFile(path, content);
    ASSERT_TRUE(edits.Trash(path));
  }
  EXPECT_EQ(ReadFile(xdg.DataHome() + "/Trash/files/Ben.zel"), "first");
  EXPECT_EQ(ReadFile(xdg.DataHome() + "/Trash/files/Ben.2.zel"), "second");
  EXPECT_TRUE(FileExists(xdg.DataHome() + "/Trash/info/Ben.2.zel.trashinfo"));
}

TEST(RecordingEdits, ANewCommentKeepsTheBookmarkLine) {
  TempDir dir;
  RecordingDescription d;
  d.comment = "Old words";
  d.bookmarkStart = 2;
  d.bookmarkEnd = 9;
  const CKlRecordFileHdr marked = HeaderOf(MakeRecording(dir, "marked.zel", Speech(80000), d));
  const std::string comment = CRecordingEdits::CommentKeepingBookmark(marked, "Follow Up");
  EXPECT_EQ(comment.rfind("Bookmark at: ", 0), 0u) << comment;
  EXPECT_NE(comment.find("00:00:02\r\nFollow Up"), std::string::npos) << comment;
  EXPECT_EQ(comment.find("Old words"), std::string::npos);
  const CKlRecordFileHdr plain = HeaderOf(MakeRecording(dir, "plain.zel", Speech(8000)));
  EXPECT_EQ(CRecordingEdits::CommentKeepingBookmark(plain, "Follow Up"), "Follow Up");
}

}  // namespace
