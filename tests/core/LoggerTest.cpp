#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "core/CKlLogger.h"
#include "support/TestSupport.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

TEST(LoggerTest, LinesCarryTheTimeStampPrefix) {
  zeltest::TempDir dir;
  CKlLogger logger(dir.path() + "/");
  logger.LogLine("Thread: %s %d", "name", 7);
  std::string text = zeltest::ReadFile(dir.File("Log.txt"));
  EXPECT_TRUE(std::regex_match(
      text, std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3} : Thread: name 7\n)")))
      << text;
}

TEST(LoggerTest, LogWithoutLineFeedKeepsTheNextPrefixOnTheSameLine) {
  zeltest::TempDir dir;
  CKlLogger logger(dir.path() + "/");
  logger.Log("first");
  logger.LogLine("second");
  auto lines = Lines(zeltest::ReadFile(dir.File("Log.txt")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("first"), std::string::npos);
  EXPECT_NE(lines[0].find("first2"), std::string::npos);  // "first" then the year of the prefix
}

TEST(LoggerTest, AppendsToAnExistingFileAcrossInstances) {
  zeltest::TempDir dir;
  { CKlLogger(dir.path() + "/").LogLine("one"); }
  { CKlLogger(dir.path() + "/").LogLine("two"); }
  EXPECT_EQ(Lines(zeltest::ReadFile(dir.File("Log.txt"))).size(), 2u);
}

TEST(LoggerTest, RotatesOnlyWhenTheSizeCrossesTheThreshold) {
  zeltest::TempDir dir;
  // Prefix is 26 bytes; "x" * 73 + "\n" makes each line exactly 100 bytes.
  const std::string payload(73, 'x');
  CKlLogger logger(dir.path() + "/", 300);
  logger.LogLine("%s", payload.c_str());
  logger.LogLine("%s", payload.c_str());
  logger.LogLine("%s", payload.c_str());  // exactly 300 bytes: no rotation
  EXPECT_EQ(zeltest::ReadFile(dir.File("Log.txt")).size(), 300u);
  EXPECT_FALSE(zeltest::FileExists(dir.File("Log-old.txt")));

  zeltest::WriteFile(dir.File("Log-old.txt"), "an older generation");
  logger.LogLine("%s", payload.c_str());  // 400 > 300: moved aside, replacing the old one
  EXPECT_FALSE(zeltest::FileExists(dir.File("Log.txt")));
  EXPECT_EQ(zeltest::ReadFile(dir.File("Log-old.txt")).size(), 400u);

  logger.LogLine("fresh");
  auto lines = Lines(zeltest::ReadFile(dir.File("Log.txt")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("fresh"), std::string::npos);
}

TEST(LoggerTest, DefaultThresholdIsTwentyMebibytes) {
  EXPECT_EQ(CKlLogger::kDefaultMaxSize, 20971520u);
}

TEST(LoggerTest, UnwritableFolderIsInvisibleToCallers) {
  zeltest::TempDir dir;
  std::string folder = dir.File("missing/deeper/");
  CKlLogger logger(folder);
  logger.LogLine("dropped %d", 1);
  logger.Log("dropped too");
  EXPECT_FALSE(zeltest::FileExists(folder + "Log.txt"));
}

TEST(LoggerTest, ConcurrentWritersNeverInterleaveLines) {
  zeltest::TempDir dir;
  CKlLogger logger(dir.path() + "/");
  constexpr int kThreads = 8;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&logger, t] {
      std::string body(50, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) logger.LogLine("T%d %s %d", t, body.c_str(), i);
    });
  }
  for (auto& thread : threads) thread.join();
  auto lines = Lines(zeltest::ReadFile(dir.File("Log.txt")));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::regex shape(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3} : T(\d) ([a-h])\2{49} \d+)");
  for (const auto& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
    EXPECT_EQ(match[2].str()[0], 'a' + std::stoi(match[1].str()));
  }
}

}  // namespace
