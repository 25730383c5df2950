#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "OrganiserTestSupport.h"
#include "core/DamagedFile.h"
#include "organiser/CRecordingCatalogue.h"
#include "organiser/CSearchManager.h"
#include "organiser/CWatchedFolders.h"
#include "organiser/CZelVelomarDoc.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CRecordingWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassphrase = "secret words";

// Change times this recent are not trusted by the catalogue; waiting this long
// makes it keep what it read.
void LetTheCatalogueTrust() { std::this_thread::sleep_for(std::chrono::milliseconds(60)); }

// A random recording of any version, encrypted or damaged now and then.
void WriteRandomRecording(const std::string& path, std::mt19937& rng, long long now) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const char* kTexts[] = {"", ">0171 555", "<0049 30 1234", "Müller", "anna", "ANNA x", "bookmark", "Zürich ß"};
  if (pick(12) == 0) {  // damaged: too short, or an unknown version
    zeltest::WriteFile(path, pick(2) ? std::string(100, 'x') : std::string(1440, '\x09'));
    return;
  }
  RecordingDescription d;
  d.version = static_cast<uint32_t>(1 + pick(5));
  d.formatTag = zel::kFormatALaw;
  d.callerId = kTexts[pick(8)];
  d.comment = kTexts[pick(8)];
  d.userId = kTexts[pick(8)];
  d.important = static_cast<uint32_t>(pick(2));
  d.startTime = static_cast<int32_t>(now - pick(90) * 86400 - pick(86400));
  d.duration = pick(3) ? pick(600) : -1;
  if (pick(3) == 0) {
    d.bookmarkStart = 1;
    d.bookmarkEnd = 3;
  }
  if (d.version == 5) d.passphrase = kPassphrase;
  const size_t samples = pick(3) ? 0 : 800;
  std::vector<int16_t> pcm(samples, 100);
  auto bytes = CRecordingWriter::FileBytes(d, CRecordingWriter::EncodeAudio(d.formatTag, pcm.data(), samples),
                                           samples);
  // Written in place when the file exists, so that its folder does not change.
  zeltest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
  const time_t when = static_cast<time_t>(now - pick(60) * 86400);
  struct timespec times[2] = {{when, 0}, {when, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct Outcome {
  std::vector<std::string> rows;
  SearchStatus status;
  int linked = 0;
  int deep = 0;
};

bool operator==(const Outcome& a, const Outcome& b) {
  return a.rows == b.rows && a.status.failed == b.status.failed && a.status.total == b.status.total &&
         a.status.processed == b.status.processed && a.linked == b.linked && a.deep == b.deep;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << "failed " << o.status.failed << " total " << o.status.total << " processed " << o.status.processed
      << " linked " << o.linked << " deep " << o.deep << "\n";
  for (const std::string& row : o.rows) out << "  " << row << "\n";
  return out;
}

Outcome Search(CSearchManager& manager, const SearchCriteria& criteria, int column, int descending,
               const std::string& passphrase) {
  manager.PrepareSearch(criteria, column, descending);
  manager.SetPassphrase(passphrase);
  Outcome outcome;
  manager.GetStatus(outcome.status);
  if (!outcome.status.failed) {
    manager.StartSearch();
    manager.WaitUntilStopped(-1);
  }
  CZelVelomarDoc document;
  manager.TakeResults(&document);
  manager.GetStatus(outcome.status);
  outcome.linked = manager.Limits().linkedFolders;
  outcome.deep = manager.Limits().tooDeep;
  for (size_t i = 0; i < document.EntryCount(); ++i) {
    const CKlFileListEntry& e = *document.EntryAt(i);
    outcome.rows.push_back(e.Path() + "|" + std::string(e.UserIdText()) + "|" + std::string(e.CallerIdText()) + "|" +
                           std::string(e.DateTimeText()) + "|" + e.DurationText() + "|" + std::string(e.CommentText()) + "|" + std::to_string(e.Important()) +
                           std::to_string(e.HasBookmark()) + std::to_string(e.Encrypted()) + "|" +
                           std::to_string(e.StartTime()) + "|" + e.AuxDurationText());
  }
  return outcome;
}

class Tree {
 public:
  Tree(const std::string& root, std::mt19937& rng, long long now) : root_(root), rng_(rng), now_(now) {
    AddFolder(root_, 0);
  }

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  std::string AnyFolder() { return folders_[Pick(static_cast<int>(folders_.size()))]; }
  std::vector<std::string> Files() {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root_)) {
      if (e.is_regular_file() && !e.is_symlink()) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  void AddFolder(const std::string& folder, int depth) {
    fs::create_directories(folder);
    folders_.push_back(folder);
    for (int i = Pick(6); i > 0; --i) AddFile(folder);
    if (Pick(4) == 0) zeltest::WriteFile(folder + "/notes.txt", "not a recording");
    for (int i = depth < 3 ? Pick(3) : 0; i > 0; --i) AddFolder(folder + "/d" + std::to_string(next_++), depth + 1);
  }

  void AddFile(const std::string& folder) {
    static const char* kNames[] = {"4711-20231114 221320", "anna-2024", "call", "Müller-2022 x", "b"};
    const std::string path =
        folder + "/" + kNames[Pick(5)] + std::to_string(next_++) + (Pick(8) == 0 ? ".ZEL" : ".zel");
    WriteRandomRecording(path, rng_, now_);
  }

  // One random change of the kinds a share sees between two searches.
  void Change() {
    std::vector<std::string> files = Files();
    const int kind = Pick(8);
    if (files.empty() || kind == 0) return AddFolder(AnyFolder() + "/n" + std::to_string(next_++), 2);
    const std::string file = files[Pick(static_cast<int>(files.size()))];
    switch (kind) {
      case 1: WriteRandomRecording(file, rng_, now_); break;  // edited in place
      case 2: fs::remove(file); break;
      case 3: fs::rename(file, AnyFolder() + "/moved" + std::to_string(next_++) + ".zel"); break;
      case 4: AddFile(AnyFolder()); break;
      case 5: {
        const std::string folder = AnyFolder();
        if (folder == root_) break;
        const std::string to = root_ + "/r" + std::to_string(next_++);
        fs::rename(folder, to);
        folders_ = {root_};
        for (const auto& e : fs::recursive_directory_iterator(root_)) {
          if (e.is_directory() && !e.is_symlink()) folders_.push_back(e.path());
        }
        break;
      }
      case 6: {  // only the time changes: the date rule sees it
        const time_t when = static_cast<time_t>(now_ - Pick(60) * 86400);
        struct timespec times[2] = {{when, 0}, {when, 0}};
        utimensat(AT_FDCWD, file.c_str(), times, 0);
        break;
      }
      default: fs::create_directory_symlink(AnyFolder(), AnyFolder() + "/link" + std::to_string(next_++)); break;
    }
  }

  SearchCriteria RandomCriteria() {
    static const char* kMasks[] = {"*", "", "a", "ANN?", "*ü*", "0171", "?", "call*", "x*y", "47"};
    SearchCriteria c;
    c.folders = {Pick(4) ? root_ : AnyFolder()};
    if (Pick(5) == 0) c.folders.push_back(AnyFolder());
    if (Pick(8) == 0) {
      auto files = Files();
      if (!files.empty()) c.folders.push_back(files[Pick(static_cast<int>(files.size()))]);
    }
    if (Pick(12) == 0) c.folders.push_back(root_ + "/absent");
    c.includeSubfolders = Pick(4) != 0;
    c.nameMask = kMasks[Pick(10)];
    c.callerIdMask = Pick(2) ? "*" : kMasks[Pick(10)];
    c.commentMask = Pick(2) ? "*" : kMasks[Pick(10)];
    c.dateMode = Pick(8);
    if (c.dateMode == static_cast<int>(zel::DateMode::Range)) {
      c.rangeStart = static_cast<int>(now_ - Pick(90) * 86400);
      c.rangeEnd = c.rangeStart + Pick(60) * 86400;
    }
    c.limitByLength = Pick(3) == 0;
    c.minMinutes = Pick(6);
    return c;
  }

 private:
  std::string root_;
  std::mt19937& rng_;
  long long now_;
  std::vector<std::string> folders_;
  int next_ = 0;
};

class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest() { walk_.SetUseCatalogue(false); }
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  CSearchManager catalogue_;
  CSearchManager walk_;
};

// Over random trees changed between searches, a search through the catalogue
// gives what the walk gives: the same entries with the same texts in the same
// order, the same totals and the same folders left out.
TEST_F(CatalogueTest, SearchesAsTheWalkDoesOverRandomTreesAndChanges) {
  std::mt19937 rng(99);
  const long long now = static_cast<long long>(std::time(nullptr));
  int compared = 0;
  for (int tree = 0; tree < 12; ++tree) {
    Tree t(dir_.File("t" + std::to_string(tree)), rng, now);
    for (int round = 0; round < 5; ++round) {
      if (round % 2 == 0) LetTheCatalogueTrust();  // odd rounds search right after the changes
      for (int search = 0; search < 5; ++search) {
        const SearchCriteria c = t.RandomCriteria();
        const int column = t.Pick(10);
        const int descending = t.Pick(2);
        const std::string passphrase = t.Pick(2) ? kPassphrase : "";
        const Outcome expected = Search(walk_, c, column, descending, passphrase);
        ASSERT_EQ(Search(catalogue_, c, column, descending, passphrase), expected)
            << "tree " << tree << " round " << round << " search " << search;
        ++compared;
      }
      for (int i = t.Pick(4) + 1; i > 0; --i) t.Change();
    }
  }
  EXPECT_EQ(compared, 300);
}

// What a refresh reads again after each kind of change, and what it keeps. A
// folder watched since its files were last looked at is taken as kept until the
// watcher reports a change in it (a file written in place leaves the folder as it was).
TEST_F(CatalogueTest, RefreshReadsOnlyWhatChanged) {
  struct Case {
    const char* name;
    std::function<void(const std::string& root)> change;
    int listed;  // files found afterwards
    int read;    // files read again
    bool watched = false;
    const char* report = nullptr;  // what the watcher reports changed: a file, or "" the folder
    int unseen = 0;                // files changed without the catalogue knowing (trusting the watcher)
  };
  auto inPlace = [](const std::string& r) { orgtest::WriteRecording(r + "/a.zel", {"u", ">1", "new"}); };
  const Case cases[] = {
      {"nothing", [](const std::string&) {}, 4, 0},
      {"change", [](const std::string& r) { orgtest::WriteRecording(r + "/a.zel", {"u", ">1", "new"}); }, 4, 1},
      {"delete", [](const std::string& r) { fs::remove(r + "/sub/c.zel"); }, 3, 0},
      {"rename", [](const std::string& r) { fs::rename(r + "/a.zel", r + "/z.zel"); }, 4, 1},
      {"new folder",
       [](const std::string& r) {
         fs::create_directory(r + "/new");
         orgtest::WriteRecording(r + "/new/e.zel");
         orgtest::WriteRecording(r + "/new/f.zel");
       },
       6, 2},
      {"rename folder", [](const std::string& r) { fs::rename(r + "/sub", r + "/moved"); }, 4, 2},
      {"change, watched", inPlace, 4, 0, true, nullptr, 1},
      {"change, reported", inPlace, 4, 1, true, ""},
      {"change, file reported", inPlace, 4, 1, true, "a.zel"},
      {"change, another file reported", inPlace, 4, 0, true, "b.zel", 1},
      {"delete, watched", [](const std::string& r) { fs::remove(r + "/sub/c.zel"); }, 3, 0, true},
  };
  long long kept = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string root = dir_.File(c.name);
    fs::create_directories(root + "/sub");
    for (const char* name : {"a.zel", "b.zel", "sub/c.zel", "sub/d.zel"}) orgtest::WriteRecording(root + "/" + name);
    CWatchedFolders watched;
    const std::string key = fs::canonical(root).string();
    if (c.watched) {
      ASSERT_TRUE(watched.Watch(key));
    }
    CRecordingCatalogue catalogue;
    catalogue.SetWatched(&watched);
    ASSERT_TRUE(catalogue.Open());
    auto refresh = [&](int& read) {
      CRecordingCatalogue::Scan scan;
      const int listed = catalogue.List(root, true, scan, nullptr);
      read = 0;
      catalogue.ReadChanged(scan, 0, [] { return true; }, [&] { ++read; });
      EXPECT_TRUE(catalogue.Save(scan));
      return listed;
    };
    LetTheCatalogueTrust();
    int read = 0;
    ASSERT_EQ(refresh(read), 4);
    EXPECT_EQ(read, 4);
    c.change(root);
    if (c.report) watched.Changed(key, c.report);
    EXPECT_EQ(refresh(read), c.listed);
    EXPECT_EQ(read, c.read);
    // Every case has its own folder in the one database; what vanished has left it.
    kept += c.listed;
    EXPECT_EQ(catalogue.GetStatus().recordings, kept);
    // A process started afresh, without a watcher, finds in the database what this
    // one keeps in memory, once the changed files are old enough to be trusted.
    LetTheCatalogueTrust();
    refresh(read);
    const std::string file = CRecordingCatalogue::DefaultFile();
    CRecordingCatalogue fresh(file.substr(0, file.rfind('/')) + "/." + file.substr(file.rfind('/')));
    fresh.SetWatched(nullptr);
    ASSERT_TRUE(fresh.Open());
    CRecordingCatalogue::Scan scan;
    EXPECT_EQ(fresh.List(root, true, scan, nullptr), c.listed);
    int again = 0;
    fresh.ReadChanged(scan, 0, [] { return true; }, [&] { ++again; });
    EXPECT_EQ(again, c.unseen);
  }
}

// A share that is not mounted keeps its recordings: the search fails as the walk
// does and says which folder is masked; once back, nothing is read again.
TEST_F(CatalogueTest, UnmountedRootIsMaskedNotEmptied) {
  const std::string root = dir_.File("share");
  fs::create_directories(root + "/sub");
  orgtest::WriteRecording(root + "/a.zel");
  orgtest::WriteRecording(root + "/sub/b.zel");
  SearchCriteria c;
  c.folders = {root};
  c.includeSubfolders = 1;
  c.dateMode = 0;
  LetTheCatalogueTrust();
  const Outcome before = Search(catalogue_, c, 5, 1, "");
  ASSERT_EQ(before.rows.size(), 2u);
  fs::rename(root, dir_.File("away"));
  const Outcome masked = Search(catalogue_, c, 5, 1, "");
  EXPECT_EQ(masked, Search(walk_, c, 5, 1, ""));
  EXPECT_EQ(masked.status.failed, 1);
  EXPECT_EQ(masked.status.masked, 1);
  EXPECT_EQ(catalogue_.MaskedFolders(), std::vector<std::string>{root});
  CRecordingCatalogue catalogue;
  ASSERT_TRUE(catalogue.Open());
  const auto status = catalogue.GetStatus();
  EXPECT_EQ(status.recordings, 2);
  ASSERT_EQ(status.roots.size(), 1u);
  EXPECT_TRUE(status.roots[0].missing);
  fs::rename(dir_.File("away"), root);
  CRecordingCatalogue::Scan scan;
  EXPECT_EQ(catalogue.List(root, true, scan, nullptr), 2);
  int read = 0;
  catalogue.ReadChanged(scan, 0, [] { return true; }, [&] { ++read; });
  EXPECT_EQ(read, 0);
  EXPECT_EQ(Search(catalogue_, c, 5, 1, ""), before);
  EXPECT_TRUE(catalogue.Forget(root));
  EXPECT_EQ(catalogue.GetStatus().recordings, 0);
}

// A damaged database is set aside and built again; the search is not disturbed.
TEST_F(CatalogueTest, DamagedDatabaseIsSetAsideAndRebuilt) {
  orgtest::WriteRecording(dir_.File("a.zel"));
  const std::string file = CRecordingCatalogue::DefaultFile();
  zeltest::WriteFile(file, std::string(4096, 'x'));
  orgtest::ScopedSink sink;
  SearchCriteria c;
  c.folders = {dir_.path()};
  c.dateMode = 0;
  EXPECT_EQ(Search(catalogue_, c, 5, 1, ""), Search(walk_, c, 5, 1, ""));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_NE(sink.messages()[0].text.find("catalogue.sqlite.damaged-"), std::string::npos);
  CRecordingCatalogue catalogue;
  ASSERT_TRUE(catalogue.Open());
  EXPECT_EQ(catalogue.GetStatus().recordings, 1);
}

}  // namespace
