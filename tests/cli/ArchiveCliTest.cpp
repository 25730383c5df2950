#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "tests/archive/ArchiveTestSupport.h"
#include "support/TestSupport.h"

using zeltest::RunShell;
using zeltest::RunZelctl;
using zeltest::ShellQuote;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

int JsonInt(const std::string& json, const std::string& key) {
  std::string marker = "\"" + key + "\":";
  size_t at = json.find(marker);
  return at == std::string::npos ? -999 : std::atoi(json.c_str() + at + marker.size());
}

// "Jan 2011": a three-letter month, a blank, four digits.
bool IsMonthFolder(const std::string& text) {
  if (text.size() != 8 || text[3] != ' ') return false;
  if (!std::isupper(static_cast<unsigned char>(text[0])) || !std::islower(static_cast<unsigned char>(text[1])) ||
      !std::islower(static_cast<unsigned char>(text[2]))) {
    return false;
  }
  for (size_t i = 4; i < 8; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

class ArchiveCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    demo_ = dir_.File("demo");
    auto made = RunZelctl({"make-demo", demo_, "--synthetic"});
    if (made.exitCode != 0) {
      // Any recordings do; these stand in when the demo maker is missing.
      archtest::MakeDirs(demo_);
      archtest::MakeRecording(demo_ + "/4711-20261207 101507.zel", 1796638507, 4000);
      archtest::MakeRecording(demo_ + "/4712-20260105 080000.zel", 1767600000, 4000);
    }
    archtest::MakeDirs(demo_ + "/sub");
    archtest::MakeRecording(demo_ + "/sub/9999-20261201 120000.zel", 1796126400, 3000);
    for (const auto& item : std::filesystem::recursive_directory_iterator(demo_)) {
      if (item.is_regular_file() && item.path().extension() == ".zel") names_.insert(item.path().filename());
    }
    ASSERT_GE(names_.size(), 2u);
  }

  // The file names found under an archive by an external tool, and their folders.
  std::vector<std::string> ListArchive(const std::string& type, const std::string& target) {
    std::string command;
    if (type == "disk") command = "cd " + ShellQuote(target) + " && find . -type f | sed 's|^\\./||'";
    if (type == "zip") command = "unzip -Z1 " + ShellQuote(target);
    if (type == "iso") command = "xorriso -indev " + ShellQuote(target) + " -find / -type f 2>/dev/null | sed \"s|^'/||; s|'$||\"";
    auto listed = RunShell(command);
    EXPECT_EQ(listed.exitCode, 0) << command << "\n" << listed.err;
    return Lines(listed.out);
  }

  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  zeltest::ScopedEnv home_{"HOME", dir_.File("home")};
  std::string demo_;
  std::set<std::string> names_;
};

TEST_F(ArchiveCliTest, EveryTypeAndStructureThenTheLogThenNothingNew) {
  for (const char* tool : {"unzip", "xorriso"}) {
    if (!zeltest::ToolAvailable(tool)) GTEST_SKIP() << tool << " is missing";
  }
  int runs = 0;
  for (std::string type : {"disk", "zip", "iso"}) {
    for (std::string structure : {"unstructured", "user", "month", "path"}) {
      std::string target = dir_.File("out-" + type + "-" + structure + (type == "disk" ? "" : "." + type));
      auto run = RunZelctl({"archive", "--type", type, "--target", target, "--structure", structure,
                            "--comment", type + " " + structure, "--json", demo_});
      ASSERT_EQ(run.exitCode, 0) << type << " " << structure << "\n" << run.err;
      EXPECT_EQ(JsonInt(run.out, "archived"), static_cast<int>(names_.size())) << run.out;
      EXPECT_EQ(JsonInt(run.out, "selected"), static_cast<int>(names_.size()));
      EXPECT_EQ(JsonInt(run.out, "logIndex"), runs);
      ++runs;

      std::vector<std::string> listed = ListArchive(type, target);
      std::set<std::string> found;
      size_t indexFiles = 0;
      for (const auto& path : listed) {
        std::filesystem::path p(path);
        if (path == "index.csv" || path == "index.html") {  // the archive's own index, at its root
          ++indexFiles;
          continue;
        }
        found.insert(p.filename());
        std::string folder = p.parent_path().string();
        if (structure == "unstructured") {
          EXPECT_EQ(folder, "") << path;
        } else if (structure == "user") {
          EXPECT_EQ(folder, p.filename().string().substr(0, 4)) << path;
        } else if (structure == "month") {
          EXPECT_TRUE(IsMonthFolder(folder)) << path;
        } else {
          std::string source = demo_.substr(1);  // the archive root stands for "/"
          EXPECT_TRUE(folder == source || folder == source + "/sub") << path;
        }
      }
      EXPECT_EQ(found, names_) << type << " " << structure;
      EXPECT_EQ(listed.size(), names_.size() + 2);
      EXPECT_EQ(indexFiles, 2u);
      auto verify = RunZelctl({"archive-verify", "--json", target});
      EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
      EXPECT_EQ(JsonInt(verify.out, "listed"), static_cast<int>(names_.size())) << verify.out;
      if (type == "disk" && structure == "unstructured") {
        // One changed byte is found and named.
        const std::string copy = target + "/" + *names_.begin();
        std::string bytes = zeltest::ReadFile(copy);
        bytes[bytes.size() / 2] ^= 1;
        zeltest::WriteFile(copy, bytes);
        verify = RunZelctl({"archive-verify", target});
        EXPECT_EQ(verify.exitCode, 1);
        EXPECT_NE(verify.out.find("changed: " + *names_.begin()), std::string::npos) << verify.out;
      }
      if (type == "zip") {
        EXPECT_EQ(RunShell("unzip -tq " + ShellQuote(target)).exitCode, 0);
      }
    }
  }

  auto log = RunZelctl({"archive-log"});
  ASSERT_EQ(log.exitCode, 0) << log.err;
  auto lines = Lines(log.out);
  ASSERT_EQ(lines.size(), static_cast<size_t>(runs));
  EXPECT_NE(lines[0].find(" - Disk - " + std::to_string(names_.size()) + " (calls) - disk unstructured"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[4].find(" - ZIP - "), std::string::npos);
  EXPECT_NE(lines[11].find(" - ISO - "), std::string::npos);
  auto json = RunZelctl({"archive-log", "--json"});
  ASSERT_EQ(Lines(json.out).size(), static_cast<size_t>(runs));
  EXPECT_EQ(JsonInt(Lines(json.out)[0], "callCount"), static_cast<int>(names_.size()));

  std::string id = lines[1].substr(0, lines[1].find(' '));
  auto report = RunZelctl({"archive-log", "--report", id, "-o", dir_.File("report.txt")});
  ASSERT_EQ(report.exitCode, 0) << report.err;
  std::string text = zeltest::ReadFile(dir_.File("report.txt"));
  EXPECT_EQ(text.rfind("Archiver Report\nIssued: ", 0), 0u);
  EXPECT_NE(text.find("\nArchive Job: DISK\n"), std::string::npos);
  // Structure and creator come back from the log, and the run's calls are listed.
  EXPECT_NE(text.find("\nStructure Calls by: By User\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\nCreated By: \n"), std::string::npos) << text;
  EXPECT_NE(text.find("\ndisk user\nCalls:\n   " + demo_), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 3), "\n\n\n");
  EXPECT_EQ(RunZelctl({"archive-log", "--report", "12345"}).exitCode, 1);

  auto again = RunZelctl({"archive", "--type", "zip", "--target", dir_.File("again.zip"), "--select",
                          "unarchived", demo_});
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.out, "Archive Calls finished: 0 (from 0) calls archived.\n");
  EXPECT_FALSE(zeltest::FileExists(dir_.File("again.zip")));
  EXPECT_EQ(Lines(RunZelctl({"archive-log"}).out).size(), static_cast<size_t>(runs));
}

TEST_F(ArchiveCliTest, MediaProcessingAfterTheRun) {
  std::string copy = dir_.File("copy");
  ASSERT_EQ(RunShell("cp -r " + ShellQuote(demo_) + " " + ShellQuote(copy)).exitCode, 0);
  std::string one = copy + "/sub/9999-20261201 120000.zel";
  int64_t before = archtest::FileSizeOf(one);
  auto removed = RunZelctl({"archive", "--type", "disk", "--target", dir_.File("keep"), "--media", "remove-audio", copy});
  ASSERT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_LT(archtest::FileSizeOf(one), before);
  EXPECT_EQ(archtest::FileSizeOf(dir_.File("keep/9999-20261201 120000.zel")), before);

  auto deleted = RunZelctl({"archive", "--type", "zip", "--target", dir_.File("gone.zip"), "--media", "delete", copy});
  ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_FALSE(zeltest::FileExists(one));
  EXPECT_TRUE(zeltest::FileExists(dir_.File("gone.zip")));
}

// A write that fails (a full file system, simulated by a file size limit; a
// folder that cannot be made) archives nothing, says why in the words of the
// failure, exits 1 and leaves every original as it was.
TEST_F(ArchiveCliTest, FailedWritesArchiveNothingAndTouchNoOriginal) {
  std::string copy = dir_.File("copy");
  ASSERT_EQ(RunShell("cp -r " + ShellQuote(demo_) + " " + ShellQuote(copy)).exitCode, 0);
  auto originals = [&] {
    std::map<std::string, int64_t> sizes;
    for (const auto& item : std::filesystem::recursive_directory_iterator(copy)) {
      if (item.is_regular_file()) sizes[item.path()] = archtest::FileSizeOf(item.path());
    }
    return sizes;
  };
  const auto before = originals();
  zeltest::WriteFile(dir_.File("plain"), "x");
  const std::string full = "trap '' XFSZ; ulimit -f 1;";
  struct Case {
    std::string type, target, prefix, reason;
  };
  for (const Case& c : {Case{"iso", dir_.File("out/a.iso"), full, "File too large"},
                        Case{"zip", dir_.File("out/a.zip"), full, "File too large"},
                        Case{"disk", dir_.File("out/tree"), full, "File too large"},
                        Case{"iso", dir_.File("plain/a.iso"), "", "Not a directory"}}) {
    for (const char* media : {"delete", "remove-audio"}) {
      auto run = RunZelctl({"archive", "--json", "--type", c.type, "--target", c.target, "--media", media, copy},
                           c.prefix);
      std::string what = c.type + " " + c.target + " " + media + "\n" + run.out + run.err;
      EXPECT_EQ(run.exitCode, 1) << what;
      EXPECT_EQ(JsonInt(run.out, "archived"), 0) << what;
      EXPECT_EQ(JsonInt(run.out, "logIndex"), -1) << what;
      EXPECT_NE(run.out.find("\"failed\":true"), std::string::npos) << what;
      EXPECT_NE(run.out.find(c.reason), std::string::npos) << what;  // in the JSON reasons
      EXPECT_NE(run.err.find(c.reason), std::string::npos) << what;  // and told on stderr
      EXPECT_EQ(run.err.find("read error"), std::string::npos) << what;
      EXPECT_EQ(originals(), before) << what;
      if (c.type != "disk") {
        EXPECT_FALSE(zeltest::FileExists(c.target)) << what;
      }
    }
  }
}

// The scheduled job with no archive type chosen yet archives nothing and says so.
TEST_F(ArchiveCliTest, ScheduledRunWithoutArchiveTypeFails) {
  ASSERT_EQ(RunZelctl({"schedule", "add-folder", demo_}).exitCode, 0);
  ASSERT_EQ(RunZelctl({"schedule", "set", "Enabled", "TRUE"}).exitCode, 0);
  auto run = RunZelctl({"schedule", "run", "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_EQ(JsonInt(run.out, "archived"), 0);
  EXPECT_NE(run.out.find("Unsupported Archive Type"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Unsupported Archive Type"), std::string::npos) << run.err;
}

// A list shows which recordings the archive log holds, and in what kind of archive.
TEST_F(ArchiveCliTest, ListsShowTheArchiveKind) {
  auto before = RunZelctl({"search", "--dates", "all", "--sort", "archived", demo_ + "/sub"});
  ASSERT_EQ(before.exitCode, 0) << before.err;
  EXPECT_EQ(before.out.find(" ISO "), std::string::npos);
  auto archived = RunZelctl({"archive", "--type", "iso", "--target", dir_.File("a.iso"), demo_ + "/sub"});
  ASSERT_EQ(archived.exitCode, 0) << archived.err;
  auto after = RunZelctl({"search", "--dates", "all", demo_ + "/sub"});
  ASSERT_EQ(after.exitCode, 0) << after.err;
  auto lines = Lines(after.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[1].find(" ISO "), std::string::npos) << after.out;
}

TEST_F(ArchiveCliTest, UsageAndMissingSources) {
  EXPECT_EQ(RunZelctl({"archive", "--type", "tape", "--target", "x", demo_}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"archive", "--type", "zip", demo_}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"archive", "--type", "zip", "--target", "x.zip"}).exitCode, 2);
  auto missing = RunZelctl({"archive", "--type", "zip", "--target", dir_.File("m.zip"), "--json", dir_.File("nope")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("ArchiveManager error - invalid file (..." + dir_.File("nope") + ")"), std::string::npos);
  EXPECT_NE(missing.out.find("\"aborted\":true"), std::string::npos);
  EXPECT_EQ(RunZelctl({"archive-log"}).out, "");
}

TEST_F(ArchiveCliTest, ScheduleShowSetAndRun) {
  auto disabled = RunZelctl({"schedule", "run"});
  EXPECT_EQ(disabled.exitCode, 1);
  EXPECT_NE(disabled.err.find("Scheduler is not Enabled"), std::string::npos);
  EXPECT_EQ(RunZelctl({"schedule", "set", "DaysInterval", "0"}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"schedule", "set", "Nonsense", "1"}).exitCode, 2);
  ASSERT_EQ(RunZelctl({"schedule", "add-folder", demo_}).exitCode, 0);
  EXPECT_EQ(RunZelctl({"schedule", "add-folder", demo_}).exitCode, 1);
  EXPECT_EQ(RunZelctl({"schedule", "add-folder", dir_.File("nope")}).exitCode, 1);
  for (auto [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"ArchiveType", "2"}, {"ArchivePath", dir_.File("sched")}, {"Enabled", "TRUE"}, {"CancelJob", "FALSE"}}) {
    ASSERT_EQ(RunZelctl({"schedule", "set", key, value}).exitCode, 0) << key;
  }
  auto shown = RunZelctl({"schedule", "show"});
  EXPECT_NE(shown.out.find("SpaceFolders: " + demo_ + "\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("ThresholdSize: 0\n"), std::string::npos);
  EXPECT_NE(shown.out.find("Enabled: TRUE\n"), std::string::npos);
  EXPECT_EQ(RunZelctl({"schedule", "next"}).exitCode, 0);

  archtest::MakeDirs(dir_.File("sched"));
  auto run = RunZelctl({"schedule", "run"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  char line[128];
  std::snprintf(line, sizeof line, "Archive Calls finished: %zu (from %zu) calls archived.\n", names_.size(),
                names_.size());
  EXPECT_EQ(run.out, line);
  auto zips = RunShell("ls " + ShellQuote(dir_.File("sched")));
  auto names = Lines(zips.out);
  ASSERT_EQ(names.size(), 1u) << zips.out;
  EXPECT_EQ(names[0].rfind("Diza Didurido Job", 0), 0u);
  EXPECT_EQ(names[0].substr(names[0].size() - 4), ".zip");
  auto log = Lines(RunZelctl({"archive-log"}).out);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(" - arch_records_till_"), std::string::npos);
  EXPECT_NE(RunZelctl({"schedule", "show", "--json"}).out.find("\"Comment\":\"arch_records_till_"), std::string::npos);

  ASSERT_EQ(RunZelctl({"schedule", "remove-folder", demo_}).exitCode, 0);
  EXPECT_EQ(RunZelctl({"schedule", "remove-folder", demo_}).exitCode, 1);
}

TEST_F(ArchiveCliTest, AScheduledRunThatArchivesNothingFails) {
  zeltest::WriteFile(dir_.File("blocker"), "a file where the archive folder should be");
  ASSERT_EQ(RunZelctl({"schedule", "add-folder", demo_}).exitCode, 0);
  for (auto [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"ArchiveType", "2"}, {"ArchivePath", dir_.File("blocker/archive")}, {"Enabled", "TRUE"}}) {
    ASSERT_EQ(RunZelctl({"schedule", "set", key, value}).exitCode, 0) << key;
  }
  auto run = RunZelctl({"schedule", "run", "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  // Aborted before anything was selected, or selected and nothing archived: either way
  // no call reached the archive, and the user is told why.
  EXPECT_EQ(run.out.rfind("{\"archived\":0,", 0), 0u) << run.out;
  EXPECT_FALSE(run.err.empty());
}

}  // namespace
