#include "Archive/CDiskArchiver.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>

#include "ArchiverTestSupport.h"

using archtest::ModificationTime;
using archtest::WriteWithTime;
using zeltest::FileExists;
using zeltest::ReadFile;

namespace {

class DiskArchiverTest : public archtest::ArchiverTest {
 protected:
  CDiskArchiver archiver{[this](double percent) { progress.push_back(percent); }};
  std::vector<double> progress;
};

TEST_F(DiskArchiverTest, CopiesIntoSubFoldersWithCallTimes) {
  std::string a = dir.File("src/a.zel"), b = dir.File("src/b.zel"), c = dir.File("src/c.zel");
  WriteWithTime(a, "alpha", 1400000000);
  WriteWithTime(b, archtest::RandomBytes(5000, 1), 1400000000);
  WriteWithTime(c, "gamma", 1400000000);
  // The scheduler's archive path ends in "/", the wizard's does not.
  std::string root = dir.File("archive");
  archiver.Reset()->SetThreshold(0);
  EXPECT_EQ(0, archiver.AddFile(root + "/", a, "Alice", 1600000000));
  EXPECT_EQ(0, archiver.AddFile(root, b, "/Bob/2024 ", 1600000100));
  EXPECT_EQ(0, archiver.AddFile(root, c, "", 0));

  ASSERT_EQ(0, archiver.Archive());
  EXPECT_EQ(3, archiver.GetArchivedCount());
  EXPECT_EQ(0u, archiver.QueuedCount());
  EXPECT_EQ("alpha", ReadFile(root + "/Alice/a.zel"));
  EXPECT_EQ(archtest::RandomBytes(5000, 1), ReadFile(root + "/Bob/2024/b.zel"));
  EXPECT_EQ("gamma", ReadFile(root + "/c.zel"));
  // The call time becomes the copy's time; without one the copy keeps the source's.
  EXPECT_EQ(1600000000, ModificationTime(root + "/Alice/a.zel"));
  EXPECT_EQ(1600000100, ModificationTime(root + "/Bob/2024/b.zel"));
  EXPECT_EQ(1400000000, ModificationTime(root + "/c.zel"));
  EXPECT_EQ((std::vector<std::string>{"2024"}), archtest::Entries(root + "/Bob"));
  ASSERT_EQ(3u, progress.size());
  EXPECT_NEAR(100.0 / 3, progress[0], 1e-9);
  EXPECT_DOUBLE_EQ(100.0, progress[2]);
  EXPECT_NE(std::string::npos, Log().find("Archiver: CopyFile " + a + " -> " + root + "/Alice/a.zel"));
  EXPECT_NE(std::string::npos, Log().find("Archiver: CopyFile " + c + " -> " + root + "/c.zel"));
}

TEST_F(DiskArchiverTest, MissingParentFailsOnFirstFileAndCopiesNothing) {
  std::string a = dir.File("src/a.zel");
  WriteWithTime(a, "alpha");
  archiver.Reset();
  archiver.AddFile(dir.File("missing/archive"), a, "", 0);
  archiver.AddFile(dir.File("missing/archive"), a, "", 0);
  EXPECT_EQ(-1, archiver.Archive());
  EXPECT_EQ(0, archiver.GetArchivedCount());
  EXPECT_FALSE(FileExists(dir.File("missing")));
  EXPECT_EQ(0u, archiver.QueuedCount());
}

TEST_F(DiskArchiverTest, SameNameOverwritesAndFailedCopyKeepsEarlierOnes) {
  std::string first = dir.File("day1/call.zel"), second = dir.File("day2/call.zel");
  WriteWithTime(first, "first");
  WriteWithTime(second, "second");
  std::string root = dir.File("archive");
  std::filesystem::create_directories(root + "/User");
  WriteWithTime(root + "/User/call.zel", "older copy");
  archiver.Reset();
  archiver.AddFile(root, first, "User", 0);
  archiver.AddFile(root, second, "User", 0);
  archiver.AddFile(root, dir.File("day3/gone.zel"), "User", 0);
  archiver.AddFile(root, first, "Other", 0);
  EXPECT_EQ(-1, archiver.Archive());
  EXPECT_EQ(2, archiver.GetArchivedCount());
  EXPECT_EQ("second", ReadFile(root + "/User/call.zel"));
  // No temporary copies stay behind, and the entry after the failure was dropped.
  EXPECT_EQ((std::vector<std::string>{"call.zel"}), archtest::Entries(root + "/User"));
  EXPECT_FALSE(FileExists(root + "/Other"));
  EXPECT_EQ(0u, archiver.QueuedCount());
}

TEST_F(DiskArchiverTest, ArchivingARecordingOntoItselfKeepsIt) {
  std::string source = dir.File("calls/a.zel");
  WriteWithTime(source, archtest::RandomBytes(70000, 3));
  archiver.Reset();
  archiver.AddFile(dir.File("calls"), source, "", 1600000000);
  ASSERT_EQ(0, archiver.Archive());
  EXPECT_EQ(archtest::RandomBytes(70000, 3), ReadFile(source));
  EXPECT_EQ(1600000000, ModificationTime(source));
  EXPECT_EQ((std::vector<std::string>{"a.zel", "index.csv", "index.html"}), archtest::Entries(dir.File("calls")));
}

TEST_F(DiskArchiverTest, ThresholdStopsAfterTheFileThatCrossedIt) {
  std::string root = dir.File("archive");
  archiver.Reset()->SetThreshold(1);
  for (int i = 0; i < 4; ++i) {
    std::string source = dir.File("src/f" + std::to_string(i) + ".zel");
    WriteWithTime(source, archtest::RandomBytes(600 * 1024, i));
    archiver.AddFile(root, source, "", 0);
  }
  EXPECT_EQ(0, archiver.Archive());
  // 600 KiB is below 1 MiB, 1200 KiB reaches it: the second copy stays, the third is not made.
  EXPECT_EQ(2, archiver.GetArchivedCount());
  EXPECT_EQ(1, archiver.GetSizeMB());
  EXPECT_EQ((std::vector<std::string>{"f0.zel", "f1.zel", "index.csv", "index.html"}), archtest::Entries(root));
  EXPECT_EQ(0u, archiver.QueuedCount());
}

TEST_F(DiskArchiverTest, CancelStopsBetweenFilesAndResetWithdrawsIt) {
  std::string root = dir.File("archive");
  std::string source = dir.File("src/a.zel");
  WriteWithTime(source, "alpha");
  // A cancel that arrives before the write starts is not lost.
  archiver.Reset();
  archiver.AddFile(root, source, "one", 0);
  archiver.Cancel();
  EXPECT_EQ(0, archiver.Archive());
  EXPECT_EQ(0, archiver.GetArchivedCount());
  EXPECT_FALSE(FileExists(root));

  // Cancelled from the progress report of the second file: the third is not copied.
  CDiskArchiver cancelling([&](double percent) {
    if (percent > 50) cancelling.Cancel();
  });
  cancelling.Reset();
  for (const char* sub : {"one", "two", "three"}) cancelling.AddFile(root, source, sub, 0);
  EXPECT_EQ(0, cancelling.Archive());
  EXPECT_EQ(2, cancelling.GetArchivedCount());
  EXPECT_FALSE(FileExists(root + "/three"));

  cancelling.Reset();
  cancelling.AddFile(root, source, "three", 0);
  EXPECT_EQ(0, cancelling.Archive());
  EXPECT_EQ(1, cancelling.GetArchivedCount());
  EXPECT_TRUE(FileExists(root + "/three/a.zel"));
}

TEST_F(DiskArchiverTest, SubFolderCannotLeaveTheArchive) {
  std::string root = dir.File("box/archive");
  std::filesystem::create_directories(dir.File("box"));
  std::string source = dir.File("src/a.zel");
  WriteWithTime(source, "alpha");
  archiver.Reset();
  archiver.AddFile(root, source, "/../../escape/./x", 0);
  ASSERT_EQ(0, archiver.Archive());
  EXPECT_TRUE(FileExists(root + "/escape/x/a.zel"));
  EXPECT_EQ((std::vector<std::string>{"archive"}), archtest::Entries(dir.File("box")));

  // A link planted inside the archive is not followed out of it.
  std::filesystem::create_directories(dir.File("elsewhere"));
  std::filesystem::create_directory_symlink(dir.File("elsewhere"), root + "/U");
  archiver.Reset();
  archiver.AddFile(root, source, "U", 0);
  EXPECT_EQ(-1, archiver.Archive());
  EXPECT_TRUE(archtest::Entries(dir.File("elsewhere")).empty());
  EXPECT_NE(std::string::npos, archiver.LastError().find("symbolic link")) << archiver.LastError();
}

}  // namespace
