#include "Archive/CZIPArchiver.h"

#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <condition_variable>
#include <thread>

#include "ArchiverTestSupport.h"

using archtest::RandomBytes;
using archtest::WriteWithTime;
using zeltest::FileExists;
using zeltest::ReadFile;
using zeltest::RunShell;
using zeltest::ShellQuote;

namespace {

class ZipArchiverTest : public archtest::ArchiverTest {
 protected:
  void SetUp() override {
    if (!zeltest::ToolAvailable("unzip")) GTEST_SKIP() << "unzip is not installed";
    ArchiverTest::SetUp();
  }
  // Runs a whole job and returns what Archive returned.
  int Run(const std::string& archive, const std::vector<std::pair<std::string, std::string>>& files,
          int threshold = 0, CZIPArchiver* use = nullptr) {
    CZIPArchiver own([](double) {});
    CZIPArchiver& archiver = use != nullptr ? *use : own;
    archiver.Reset()->SetThreshold(threshold);
    for (const auto& [source, sub] : files) EXPECT_EQ(0, archiver.AddFile(archive, source, sub, 0));
    return archiver.Archive();
  }
  static void ExpectValid(const std::string& archive) {
    auto test = RunShell("unzip -t " + ShellQuote(archive));
    EXPECT_EQ(0, test.exitCode) << test.out << test.err;
  }
  // The entry names as unzip lists them, in archive order.
  static std::vector<std::string> Names(const std::string& archive) {
    auto list = RunShell("unzip -Z1 " + ShellQuote(archive));
    std::vector<std::string> names;
    size_t start = 0;
    while (start < list.out.size()) {
      size_t end = list.out.find('\n', start);
      if (end == std::string::npos) end = list.out.size();
      if (end > start) names.push_back(list.out.substr(start, end - start));
      start = end + 1;
    }
    return names;
  }
};

TEST_F(ZipArchiverTest, ArchiveIsReadByUnzipWithNamesAndContents) {
  std::string text = archtest::CompressibleBytes(200000);
  std::string audio = RandomBytes(150000, 7);
  std::string a = Source("a.zel", text), b = Source("b.zel", audio), c = Source("c.zel", "");
  std::string archive = dir.File("out/calls.zip");
  std::filesystem::create_directories(dir.File("out"));
  std::vector<double> progress;
  CZIPArchiver archiver([&](double percent) { progress.push_back(percent); });
  EXPECT_EQ(3, Run(archive, {{a, "/Alice/2024"}, {b, "Bob"}, {c, ""}}, 0, &archiver));
  EXPECT_EQ(3, archiver.GetArchivedCount());
  EXPECT_EQ(static_cast<int>(std::filesystem::file_size(archive) >> 20), archiver.GetSizeMB());
  EXPECT_EQ(std::filesystem::file_size(archive), archiver.GetArchiveSize());

  ExpectValid(archive);
  EXPECT_EQ((std::vector<std::string>{"Alice/2024/a.zel", "Bob/b.zel", "c.zel", "index.csv", "index.html"}), Names(archive));
  ASSERT_EQ(0, RunShell("unzip -q " + ShellQuote(archive) + " -d " + ShellQuote(dir.File("x"))).exitCode);
  EXPECT_EQ(text, ReadFile(dir.File("x/Alice/2024/a.zel")));
  EXPECT_EQ(audio, ReadFile(dir.File("x/Bob/b.zel")));
  EXPECT_EQ("", ReadFile(dir.File("x/c.zel")));
  // Text is deflated, audio that deflate cannot shrink is stored.
  auto verbose = RunShell("unzip -v " + ShellQuote(archive)).out;
  EXPECT_NE(std::string::npos, verbose.find("Defl:N")) << verbose;
  EXPECT_NE(std::string::npos, verbose.find("Stored")) << verbose;
  EXPECT_LT(std::filesystem::file_size(archive), text.size() / 4 + audio.size() + 1000);

  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(100.0, progress.back());
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]);
}

TEST_F(ZipArchiverTest, LaterRunsAppendToTheArchive) {
  std::string archive = dir.File("calls.zip");
  EXPECT_EQ(1, Run(archive, {{Source("a.zel", "alpha"), "U"}}));
  EXPECT_EQ(2, Run(archive, {{Source("b.zel", "beta"), "U"}, {Source("c.zel", RandomBytes(70000, 3)), "V"}}));
  ExpectValid(archive);
  EXPECT_EQ((std::vector<std::string>{"U/a.zel", "U/b.zel", "V/c.zel", "index.csv", "index.html"}), Names(archive));
  EXPECT_EQ("alpha", RunShell("unzip -p " + ShellQuote(archive) + " U/a.zel").out);
}

// A call archived again after a change replaces its older member, and the
// index of each run replaces the last one: one member per name, no dead bytes.
TEST_F(ZipArchiverTest, AChangedCallReplacesItsOlderMember) {
  std::string archive = dir.File("calls.zip");
  EXPECT_EQ(2, Run(archive, {{Source("a.zel", "first alpha"), "U"}, {Source("b.zel", "beta"), "U"}}));
  EXPECT_EQ(1, Run(archive, {{Source("a.zel", "second alpha, longer"), "U"}}));
  EXPECT_EQ(1, Run(archive, {{Source("a.zel", "second alpha, longer"), "U"}}));
  ExpectValid(archive);
  EXPECT_EQ((std::vector<std::string>{"U/b.zel", "U/a.zel", "index.csv", "index.html"}), Names(archive));
  EXPECT_EQ("second alpha, longer", RunShell("unzip -p " + ShellQuote(archive) + " U/a.zel").out);
  const std::string bytes = ReadFile(archive);
  EXPECT_EQ(std::string::npos, bytes.find("first alpha"));
  std::string csv = RunShell("unzip -p " + ShellQuote(archive) + " index.csv").out;
  EXPECT_EQ(3, std::count(csv.begin(), csv.end(), '\n')) << csv;
  EXPECT_NE(std::string::npos, csv.find(zel::ArchiveIndex::Sha256OfBytes("second alpha, longer")));
}

TEST_F(ZipArchiverTest, ThresholdTakesBackExactlyWhatCrossedIt) {
  std::string f0 = Source("f0.zel", RandomBytes(600 * 1024, 10));
  std::string f1 = Source("f1.zel", RandomBytes(600 * 1024, 11));
  std::string f2 = Source("f2.zel", RandomBytes(600 * 1024, 12));
  std::string archive = dir.File("limited.zip"), reference = dir.File("reference.zip");
  CZIPArchiver archiver([](double) {});
  // All three are processed; the two that crossed 1 MiB were added and taken back.
  EXPECT_EQ(3, Run(archive, {{f0, "S"}, {f1, "S"}, {f2, "S"}}, 1, &archiver));
  EXPECT_EQ(1, archiver.GetArchivedCount());
  EXPECT_EQ(0, archiver.GetSizeMB());
  EXPECT_EQ(1, Run(reference, {{f0, "S"}}));
  // Same members with the same bytes; not the same file, since the index members
  // carry the time they were written, which may differ by a tick between the runs.
  EXPECT_EQ(Names(reference), Names(archive));
  EXPECT_EQ(RunShell("unzip -p " + ShellQuote(reference)).out, RunShell("unzip -p " + ShellQuote(archive)).out);
  ExpectValid(archive);

  // A first recording that alone crosses the limit leaves no archive at all, as before.
  std::string big = Source("big.zel", RandomBytes(1100 * 1024, 13));
  std::string fresh = dir.File("fresh.zip");
  CZIPArchiver second([](double) {});
  EXPECT_EQ(2, Run(fresh, {{big, ""}, {f0, ""}}, 1, &second));
  EXPECT_EQ(1, second.GetArchivedCount());
  EXPECT_EQ((std::vector<std::string>{"f0.zel", "index.csv", "index.html"}), Names(fresh));
}

TEST_F(ZipArchiverTest, FailedAddLeavesTheArchiveAsItWas) {
  std::string archive = dir.File("calls.zip");
  EXPECT_EQ(1, Run(archive, {{Source("a.zel", "alpha"), ""}}));
  const std::string before = ReadFile(archive);
  // The second recording vanished: the write ends with -1, the third is not tried
  // and the archive is exactly as it was before the run.
  CZIPArchiver archiver([](double) {});
  EXPECT_EQ(-1, Run(archive, {{Source("b.zel", "beta"), ""}, {dir.File("src/gone.zel"), ""},
                              {Source("c.zel", "gamma"), ""}}, 0, &archiver));
  EXPECT_EQ(0, archiver.GetArchivedCount());
  EXPECT_EQ(before, ReadFile(archive));
  EXPECT_FALSE(FileExists(archive + ".zelpart"));
  EXPECT_NE(std::string::npos, Log().find("Archiver: ZIP " + dir.File("src/gone.zel")));

  // Something that is no ZIP archive under the target name is refused and left alone.
  std::string notZip = dir.File("notes.zip");
  zeltest::WriteFile(notZip, "plain text, not an archive");
  EXPECT_EQ(-1, Run(notZip, {{Source("d.zel", "delta"), ""}}));
  EXPECT_EQ("plain text, not an archive", ReadFile(notZip));
  EXPECT_EQ(-1, Run(dir.File("no/such/folder.zip"), {{Source("e.zel", "e"), ""}}));
}

// Cancels `archiver` from another thread once its progress shows that the add
// of the recording with index `index` (of `total`) is under way.
class CancelFromOtherThread {
 public:
  CancelFromOtherThread(int index, int total) : mark_(100.0 * index / total + 1.0) {}
  void OnProgress(double percent) {
    if (percent < mark_) return;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!reached_) {
      reached_ = true;
      changed_.notify_all();
      // Keep the add going until the other thread has cancelled.
      changed_.wait(lock, [this] { return cancelled_; });
    }
  }
  std::thread Start(IArchiver& archiver) {
    return std::thread([this, &archiver] {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return reached_; });
      archiver.Cancel();
      cancelled_ = true;
      changed_.notify_all();
    });
  }

 private:
  double mark_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reached_ = false;
  bool cancelled_ = false;
};

TEST_F(ZipArchiverTest, CancelLeavesTheArchiveAsItWasBeforeTheWrite) {
  std::string a = Source("a.zel", RandomBytes(3000, 1)), b = Source("b.zel", "beta");
  std::string large = Source("large.zel", RandomBytes(8 << 20, 2));
  std::string archive = dir.File("calls.zip");
  for (bool existed : {false, true}) {
    SCOPED_TRACE(existed);
    if (existed) {
      ASSERT_EQ(1, Run(archive, {{Source("old.zel", "old"), ""}}));
    }
    std::string before = existed ? ReadFile(archive) : std::string();
    // Cancelled while the third recording is added, after two went into the working copy.
    CancelFromOtherThread canceller(2, 4);
    CZIPArchiver archiver([&](double percent) { canceller.OnProgress(percent); });
    std::thread thread = canceller.Start(archiver);
    int result = Run(archive, {{a, "U"}, {b, "U"}, {large, "U"}, {Source("d.zel", "delta"), "U"}}, 0, &archiver);
    thread.join();
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, archiver.GetArchivedCount());
    EXPECT_EQ(existed, FileExists(archive));
    if (existed) {
      EXPECT_EQ(before, ReadFile(archive));
    }
    EXPECT_FALSE(FileExists(archive + ".zelpart"));

    // The cancel holds until Reset: a write started afterwards adds nothing.
    archiver.AddFile(archive, b, "W", 0);
    EXPECT_EQ(0, archiver.Archive());
    EXPECT_EQ(existed, FileExists(archive));
    EXPECT_EQ(1, Run(archive, {{b, "W"}}, 0, &archiver));
  }
}

TEST_F(ZipArchiverTest, InterruptedAppendLeavesTheOldArchiveIntact) {
  std::string archive = dir.File("calls.zip");
  EXPECT_EQ(2, Run(archive, {{Source("a.zel", "alpha"), "U"}, {Source("b.zel", RandomBytes(90000, 4)), "V"}}));
  std::string before = ReadFile(archive);
  CancelFromOtherThread canceller(0, 1);
  CZIPArchiver archiver([&](double percent) { canceller.OnProgress(percent); });
  std::thread thread = canceller.Start(archiver);
  int result = Run(archive, {{Source("large.zel", RandomBytes(8 << 20, 5)), "U"}}, 0, &archiver);
  thread.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(0, archiver.GetArchivedCount());
  EXPECT_EQ(before, ReadFile(archive));
  EXPECT_FALSE(FileExists(archive + ".zelundo"));
}

// kill -9 at every progress step of a run into an existing archive: the archive
// stays readable with every member of the earlier run, with no run after it.
TEST_F(ZipArchiverTest, KilledRunLeavesTheEarlierMembersReadable) {
  std::string archive = dir.File("calls.zip");
  EXPECT_EQ(2, Run(archive, {{Source("a.zel", "alpha"), "U"}, {Source("b.zel", RandomBytes(90000, 4)), "V"}}));
  const std::vector<std::string> earlier = Names(archive);
  std::vector<std::pair<std::string, std::string>> queue = {{Source("c.zel", RandomBytes(300000, 5)), "U"},
                                                            {Source("d.zel", "delta"), "U"},
                                                            {Source("e.zel", RandomBytes(300000, 6)), "V"}};
  bool completed = false;
  int kills = 0;
  for (int moment = 1; moment < 40 && !completed; ++moment) {
    pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
      int steps = 0;
      CZIPArchiver archiver([&](double) {
        if (++steps == moment) ::raise(SIGKILL);
      });
      Run(archive, queue, 0, &archiver);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    if (WIFEXITED(status)) {
      completed = true;
      break;
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ++kills;
    ExpectValid(archive);
    EXPECT_EQ(earlier, Names(archive)) << "killed at step " << moment;
  }
  EXPECT_TRUE(completed);
  EXPECT_GE(kills, 8);  // inside each add and between them
  EXPECT_EQ((std::vector<std::string>{"U/a.zel", "V/b.zel", "U/c.zel", "U/d.zel", "V/e.zel", "index.csv", "index.html"}), Names(archive));
  EXPECT_FALSE(FileExists(archive + ".zelpart"));

  // A rerun of the same recordings adds no second member of the same name and
  // content; they count as archived.
  CZIPArchiver again([](double) {});
  EXPECT_EQ(3, Run(archive, queue, 0, &again));
  EXPECT_EQ(3, again.GetArchivedCount());
  EXPECT_EQ(7u, Names(archive).size());
  ExpectValid(archive);
}

// The general purpose flags of each central directory record, by name.
std::vector<std::pair<std::string, uint16_t>> CentralFlags(const std::string& bytes) {
  std::vector<std::pair<std::string, uint16_t>> records;
  auto le16 = [&](size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    return static_cast<uint16_t>(byte(at) | byte(at + 1) << 8);
  };
  for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4)) {
    records.push_back({bytes.substr(at + 46, le16(at + 28)), le16(at + 8)});
  }
  return records;
}

TEST_F(ZipArchiverTest, OnlyValidUtf8NamesCarryTheUtf8Flag) {
  std::string archive = dir.File("names.zip");
  std::string utf8 = "J\xC3\xB6rg-1.zel", latin1 = "J\xF6rg-2.zel";
  EXPECT_EQ(3, Run(archive, {{Source(utf8, "one"), ""}, {Source(latin1, "two"), ""}, {Source("plain.zel", "3"), ""}}));
  auto records = CentralFlags(ReadFile(archive));
  ASSERT_EQ(5u, records.size());
  EXPECT_EQ(utf8, records[0].first);
  EXPECT_EQ(0x800, records[0].second & 0x800);
  EXPECT_EQ(latin1, records[1].first);
  EXPECT_EQ(0, records[1].second & 0x800);
  EXPECT_EQ(0, records[2].second & 0x800);
  ExpectValid(archive);
  // Overlong forms, surrogates and cut sequences are not UTF-8 either.
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF5\x80\x80\x80"})
    EXPECT_FALSE(zel::zip::CZipArchive::NeedsUtf8Flag(bad)) << bad;
  EXPECT_TRUE(zel::zip::CZipArchive::NeedsUtf8Flag("\xF0\x9F\x93\x9E"));
}

}  // namespace
