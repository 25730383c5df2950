#include "Archive/CISOArchiver.h"

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

class IsoArchiverTest : public archtest::ArchiverTest {
 protected:
  void SetUp() override {
    if (!zeltest::ToolAvailable("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    ArchiverTest::SetUp();
  }
  // The files in the image as xorriso sees them (Rock Ridge names), sorted.
  static std::vector<std::string> Files(const std::string& image) {
    auto find = RunShell("xorriso -indev " + ShellQuote(image) + " -find / -type f 2>/dev/null");
    std::vector<std::string> names;
    size_t start = 0;
    while (start < find.out.size()) {
      size_t end = find.out.find('\n', start);
      if (end == std::string::npos) end = find.out.size();
      std::string line = find.out.substr(start, end - start);
      if (line.size() > 2 && line.front() == '\'' && line.back() == '\'') names.push_back(line.substr(1, line.size() - 2));
      start = end + 1;
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Extract(const std::string& image) {
    std::string out = dir.File("extracted");
    std::filesystem::remove_all(out);
    auto result = RunShell("xorriso -osirrox on -indev " + ShellQuote(image) + " -extract / " + ShellQuote(out));
    EXPECT_EQ(0, result.exitCode) << result.err;
    return out;
  }
};

TEST_F(IsoArchiverTest, ImageHoldsTheTreeUnderAllNameForms) {
  std::string audio = RandomBytes(300000, 1);
  std::string a = Source("Alice-20240101-101500.zel", audio);
  std::string b = Source("Bob-20240102-111500.zel", "bob");
  std::string c = Source("c.zel", "");
  std::string image = dir.File("out/calls.iso");
  std::filesystem::create_directories(dir.File("out"));
  std::vector<double> progress;
  CISOArchiver archiver([&](double percent) { progress.push_back(percent); });
  archiver.Reset()->SetThreshold(0);
  EXPECT_EQ(0, archiver.AddFile(image, a, "/Alice/2024", 0));
  EXPECT_EQ(0, archiver.AddFile(image, b, "Bob ", 0));
  EXPECT_EQ(0, archiver.AddFile(image, c, "", 0));
  EXPECT_EQ(3, archiver.GetArchivedCount());
  ASSERT_EQ(0, archiver.Archive());
  EXPECT_TRUE(sink->Messages().empty());

  EXPECT_EQ((std::vector<std::string>{"/Alice/2024/Alice-20240101-101500.zel", "/Bob/Bob-20240102-111500.zel",
                                      "/c.zel", "/index.csv", "/index.html"}),
            Files(image));
  std::string out = Extract(image);
  EXPECT_EQ(audio, ReadFile(out + "/Alice/2024/Alice-20240101-101500.zel"));
  EXPECT_EQ("bob", ReadFile(out + "/Bob/Bob-20240102-111500.zel"));
  // The Joliet tree carries the long names too.
  if (zeltest::ToolAvailable("isoinfo")) {
    auto joliet = RunShell("isoinfo -J -f -i " + ShellQuote(image));
    EXPECT_NE(std::string::npos, joliet.out.find("/Alice/2024/Alice-20240101-101500.zel")) << joliet.out;
  }
  // Nothing but the image is left in its folder.
  EXPECT_EQ((std::vector<std::string>{"calls.iso"}), archtest::Entries(dir.File("out")));
  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(100.0, progress.back());
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]);
}

TEST_F(IsoArchiverTest, DuplicateNameIsRefusedWithTheLibraryTextAndTheRunGoesOn) {
  std::string first = dir.File("day1/call.zel"), second = dir.File("day2/call.zel");
  WriteWithTime(first, "first");
  WriteWithTime(second, "second");
  std::string image = dir.File("calls.iso");
  CISOArchiver archiver([](double) {});
  archiver.Reset();
  EXPECT_EQ(0, archiver.AddFile(image, first, "User", 0));
  EXPECT_EQ(-1, archiver.AddFile(image, second, "User", 0));
  // A refusal leaves the count of the accepted recordings alone.
  EXPECT_EQ(1, archiver.GetArchivedCount());
  EXPECT_EQ(0, archiver.AddFile(image, Source("other.zel", "other"), "User", 0));
  EXPECT_EQ(0, archiver.AddFile(image, second, "Else", 0));
  EXPECT_EQ(-1, archiver.AddFile(image, dir.File("src/gone.zel"), "User", 0));
  EXPECT_EQ(3, archiver.GetArchivedCount());

  auto messages = sink->Messages();
  ASSERT_EQ(2u, messages.size());
  zel::iso::CIsoImage library;
  EXPECT_EQ(library.ErrorText(zel::iso::CIsoImage::kNameNotUnique), messages[0].text);
  EXPECT_NE(std::string::npos, messages[0].text.find("same name")) << messages[0].text;
  EXPECT_EQ(IMessageSink::Icon::Information, messages[0].icon);
  EXPECT_EQ(IMessageSink::Icon::Information, messages[1].icon);

  ASSERT_EQ(0, archiver.Archive());
  EXPECT_EQ((std::vector<std::string>{"/Else/call.zel", "/User/call.zel", "/User/other.zel", "/index.csv", "/index.html"}), Files(image));
  EXPECT_EQ("first", ReadFile(Extract(image) + "/User/call.zel"));
}

TEST_F(IsoArchiverTest, ThresholdRefusesOnceTheEstimateReachesIt) {
  std::string image = dir.File("calls.iso");
  CISOArchiver archiver([](double) {});
  archiver.Reset()->SetThreshold(1);
  std::vector<int> results;
  for (int i = 0; i < 4; ++i)
    results.push_back(archiver.AddFile(image, Source("f" + std::to_string(i) + ".zel", RandomBytes(600 * 1024, i)), "", 0));
  // 600 KiB is below 1 MiB, so the second is taken; 1200 KiB reaches it.
  EXPECT_EQ((std::vector<int>{0, 0, -1, -1}), results);
  EXPECT_EQ(2, archiver.GetArchivedCount());
  EXPECT_TRUE(sink->Messages().empty());
  ASSERT_EQ(0, archiver.Archive());
  EXPECT_EQ((std::vector<std::string>{"/f0.zel", "/f1.zel", "/index.csv", "/index.html"}), Files(image));
}

TEST_F(IsoArchiverTest, EstimateIsCloseToTheWrittenSize) {
  zel::iso::CIsoImage image;
  ASSERT_GT(image.Create(), 0);
  for (int i = 0; i < 60; ++i) {
    std::string source = Source("rec-" + std::to_string(i) + "-with-a-longer-name.zel", RandomBytes(1000 + 7919 * i, i));
    std::vector<std::string> where{"User" + std::to_string(i % 3), "2024-0" + std::to_string(i % 5 + 1)};
    ASSERT_GT(image.AddFile(where, source), 0);
  }
  std::string path = dir.File("estimate.iso");
  ASSERT_GT(image.Write(path, 1700000000, nullptr), 0);
  double estimate = static_cast<double>(image.EstimatedSize());
  double written = static_cast<double>(std::filesystem::file_size(path));
  EXPECT_NEAR(written, estimate, written * 0.03) << "written " << written << " estimated " << estimate;
}

TEST_F(IsoArchiverTest, CancelledAddsAreRefusedSilently) {
  std::string image = dir.File("calls.iso");
  CISOArchiver archiver([](double) {});
  archiver.Reset();
  EXPECT_EQ(0, archiver.AddFile(image, Source("a.zel", "alpha"), "", 0));
  archiver.Cancel();
  EXPECT_EQ(CISOArchiver::kCancelledResult, archiver.AddFile(image, Source("b.zel", "beta"), "", 0));
  EXPECT_EQ(1, archiver.GetArchivedCount());  // accepted
  EXPECT_EQ(CISOArchiver::kCancelledResult, archiver.Archive());
  EXPECT_EQ(0, archiver.GetArchivedCount());  // but never written
  EXPECT_TRUE(sink->Messages().empty());
  EXPECT_FALSE(FileExists(image));
}

TEST_F(IsoArchiverTest, CancelDuringTheWriteLeavesTheOldImageIntact) {
  std::string image = dir.File("out/calls.iso");
  std::filesystem::create_directories(dir.File("out"));
  zeltest::WriteFile(image, "the image of an earlier run");
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false, cancelled = false;
  CISOArchiver* target = nullptr;
  CISOArchiver archiver([&](double percent) {
    if (percent < 5) return;
    std::unique_lock<std::mutex> lock(mutex);
    if (!started) {
      started = true;
      changed.notify_all();
      changed.wait(lock, [&] { return cancelled; });
    }
  });
  target = &archiver;
  std::thread canceller([&] {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return started; });
    target->Cancel();
    cancelled = true;
    changed.notify_all();
  });
  archiver.Reset();
  ASSERT_EQ(0, archiver.AddFile(image, Source("large.zel", RandomBytes(16 << 20, 9)), "", 0));
  int result = archiver.Archive();
  canceller.join();
  EXPECT_EQ(CISOArchiver::kCancelledResult, result);
  EXPECT_EQ(0, archiver.GetArchivedCount());
  EXPECT_EQ("the image of an earlier run", ReadFile(image));
  EXPECT_EQ((std::vector<std::string>{"calls.iso"}), archtest::Entries(dir.File("out")));
  EXPECT_TRUE(sink->Messages().empty());
}

TEST_F(IsoArchiverTest, FailedWriteShowsTheLibraryTextAndLeavesNoFile) {
  std::string image = dir.File("missing/calls.iso");
  CISOArchiver archiver([](double) {});
  archiver.Reset();
  ASSERT_EQ(0, archiver.AddFile(image, Source("a.zel", "alpha"), "", 0));
  EXPECT_EQ(-1, archiver.Archive());
  EXPECT_EQ(0, archiver.GetArchivedCount());  // no image holds the recording
  auto messages = sink->Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_NE(std::string::npos, messages[0].text.find(image)) << messages[0].text;
  EXPECT_EQ(IMessageSink::Icon::Information, messages[0].icon);
  EXPECT_FALSE(FileExists(dir.File("missing")));
  EXPECT_NE(std::string::npos, Log().find("Archiver: ISO " + image));
}

}  // namespace
