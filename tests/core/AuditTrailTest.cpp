#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "core/AuditTrail.h"
#include "support/TestSupport.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::istringstream in(zeltest::ReadFile(path));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  zeltest::WriteFile(path, text);
}

void AppendCalls(zel::AuditTrail& trail, int count, const std::string& action = "play") {
  for (int i = 0; i < count; ++i) {
    zel::AuditRecord record;
    record.action = action;
    record.path = "/calls/" + std::to_string(i) + ".zel";
    ASSERT_TRUE(trail.Append(record));
  }
}

struct Tamper {
  const char* name;
  std::function<void(std::vector<std::string>&)> edit;
  uint64_t line;        // 0: the chain holds
  const char* problem;
};

TEST(AuditTrailTest, TheChainNamesTheFirstChangedRemovedOrInsertedLine) {
  const Tamper cases[] = {
      {"intact", [](auto&) {}, 0, ""},
      {"edited", [](auto& l) { l[2].replace(l[2].find("/calls/2"), 8, "/calls/9"); }, 3, "line 3 was changed"},
      {"removed", [](auto& l) { l.erase(l.begin() + 3); }, 4, "a line was removed before line 4"},
      {"first removed", [](auto& l) { l.erase(l.begin()); }, 1, "a line was removed before line 1"},
      {"copied in", [](auto& l) { l.insert(l.begin() + 2, l[1]); }, 3, "line 3 was inserted"},
      {"forged in", [](auto& l) { l.insert(l.begin() + 4, l[4]); l[4].replace(l[4].find("play"), 4, "pla2"); },
       5, "line 5 was inserted"},
      {"not a line", [](auto& l) { l[1] = "garbage"; }, 2, "line 2 was changed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    zeltest::TempDir dir;
    zel::AuditTrail trail(dir.File("audit.log"));
    AppendCalls(trail, 6);
    std::vector<std::string> lines = Lines(trail.Path());
    c.edit(lines);
    WriteLines(trail.Path(), lines);
    zel::AuditTrail::Verification check = trail.Verify();
    EXPECT_EQ(check.ok, c.line == 0);
    EXPECT_EQ(check.line, c.line);
    EXPECT_NE(check.problem.find(c.problem), std::string::npos) << check.problem;
  }
}

TEST(AuditTrailTest, RotationCarriesTheChainIntoTheNextFile) {
  zeltest::TempDir dir;
  zel::AuditTrail trail(dir.File("audit.log"), 1000);
  AppendCalls(trail, 12);
  std::vector<std::string> files = trail.Files();
  ASSERT_GE(files.size(), 3u);
  EXPECT_EQ(files.front(), dir.File("audit.log.1"));
  EXPECT_TRUE(trail.Verify().ok);
  EXPECT_EQ(trail.Verify().lines, 12u);
  ASSERT_EQ(trail.Read({}).back().seq, 12);
  // The first line of a file is bound to the last of the file before.
  std::vector<std::string> first = Lines(files[0]);
  first.pop_back();
  WriteLines(files[0], first);
  zel::AuditTrail::Verification check = trail.Verify();
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.file, files[1]);
  EXPECT_EQ(check.line, 1u);
}

TEST(AuditTrailTest, ShowFiltersByPathCallerAndDate) {
  zeltest::TempDir dir;
  zel::AuditTrail trail(dir.File("audit.log"));
  const std::vector<std::tuple<const char*, const char*, const char*>> rows = {
      {"2026-11-30T23:59:59Z", "/a.zel", "555"}, {"2026-12-01T00:00:00Z", "/b.zel", "555"},
      {"2026-12-02T10:00:00Z", "/a.zel", "777"}};
  for (const auto& [time, path, caller] : rows) {
    zel::AuditRecord record;
    record.time = time, record.path = path, record.caller = caller, record.action = "export";
    record.detail = "wav \"quoted\"\n";
    ASSERT_TRUE(trail.Append(record));
  }
  EXPECT_EQ(trail.Read({"/a.zel", "", ""}).size(), 2u);
  EXPECT_EQ(trail.Read({"", "555", ""}).size(), 2u);
  EXPECT_EQ(trail.Read({"", "", "2026-12-01"}).size(), 2u);
  EXPECT_EQ(trail.Read({"/a.zel", "", "2026-12"}).size(), 1u);
  EXPECT_EQ(trail.Read({"a.z", "", "", true}).size(), 2u);
  EXPECT_EQ(trail.Read({"a.z", "", "", false}).size(), 0u);
  EXPECT_EQ(trail.Read({}).front().detail, "wav \"quoted\"\n");
}

TEST(AuditTrailTest, TwoProcessesAppendingAtOnceKeepOneChain) {
  zeltest::TempDir dir;
  const std::string path = dir.File("audit.log");
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      zel::AuditTrail trail(path, 4096);  // rotating often, too
      for (int i = 0; i < 150; ++i) {
        zel::AuditRecord record;
        record.action = p == 0 ? "play" : "export";
        if (!trail.Append(record)) ::_exit(1);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  zel::AuditTrail trail(path, 4096);
  zel::AuditTrail::Verification check = trail.Verify();
  EXPECT_TRUE(check.ok) << check.file << ": " << check.problem;
  EXPECT_EQ(check.lines, 300u);
}

}  // namespace
