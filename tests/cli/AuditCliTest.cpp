#include <gtest/gtest.h>

#include <filesystem>

#include "support/RecordingFiles.h"
#include "support/TestSupport.h"

namespace {

struct Step {
  std::vector<std::string> arguments;  // "@" stands for the recording's path
  int exitCode;
  std::string output;  // a part of standard output or error
};

TEST(AuditCliTest, HoldRetentionAndAuditCommandsWorkTogether) {
  zeltest::XdgSandbox xdg;
  zeltest::TempDir dir;
  RecordingDescription d;
  d.callerId = "555";
  d.startTime = 1300000000;
  const std::string call = zeltest::MakeRecording(dir, "old.zel", zeltest::Speech(8000), d);
  ASSERT_FALSE(call.empty());
  const std::string env = "XDG_CONFIG_HOME=" + zeltest::ShellQuote(xdg.ConfigHome()) +
                          " XDG_DATA_HOME=" + zeltest::ShellQuote(xdg.DataHome());
  const std::string log = xdg.DataHome() + "/Merovane/Ostrel Manager/Configuration/audit.log";
  const Step steps[] = {
      {{"hold", "add", "@"}, 2, "add needs --reason"},
      {{"hold", "add", "@", "--reason", "claim 17"}, 0, ""},
      {{"hold", "add", "@", "--reason", "again"}, 1, "on hold already"},
      {{"hold", "list"}, 0, "claim 17"},
      {{"retention", "set", "OlderThanDays", "x"}, 2, "whole number"},
      {{"retention", "set", "OlderThanDays", "30"}, 0, ""},
      {{"retention", "set", "Action", "delete"}, 0, ""},
      {{"retention", "add-folder", dir.path()}, 0, ""},
      {{"retention", "show", "--json"}, 0, "\"OlderThanDays\":30"},
      {{"retention", "run"}, 0, "keep     " + call},
      {{"annotate", "--important", "1", "@"}, 0, ""},
      {{"audit", "show", "--path", "@"}, 0, "annotate (important)"},
      {{"audit", "show", "--caller", "555", "--json"}, 0, "\"action\":\"annotate\""},
      {{"hold", "remove", "@"}, 0, ""},
      {{"retention", "set", "ShorterThanSeconds", "5"}, 0, ""},
      {{"annotate", "--important", "0", "@"}, 0, ""},
      {{"retention", "preview", "--json"}, 0, "\"state\":\"remove\""},
      {{"retention", "run"}, 0, "removed  " + call},
      {{"audit", "verify"}, 0, "intact: 5 lines"},
  };
  for (const Step& step : steps) {
    std::vector<std::string> arguments = step.arguments;
    for (auto& argument : arguments) argument = argument == "@" ? call : argument;
    SCOPED_TRACE(arguments[0] + " " + arguments[1]);
    auto result = zeltest::RunZelctl(arguments, env);
    EXPECT_EQ(result.exitCode, step.exitCode) << result.err;
    EXPECT_NE((result.out + result.err).find(step.output), std::string::npos) << result.out << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(call));
  // A changed line makes verify fail, naming it.
  std::string text = zeltest::ReadFile(log);
  text.replace(text.find("claim 17"), 8, "claim 71");
  zeltest::WriteFile(log, text);
  auto result = zeltest::RunZelctl({"audit", "verify"}, env);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("line 1 was changed"), std::string::npos) << result.out;
}

TEST(AuditCliTest, TwoZelctlProcessesAppendingAtOnceLeaveAValidChain) {
  zeltest::XdgSandbox xdg;
  zeltest::TempDir dir;
  const std::string call = zeltest::MakeRecording(dir, "a.zel", zeltest::Speech(800));
  const std::string env = "XDG_CONFIG_HOME=" + zeltest::ShellQuote(xdg.ConfigHome()) +
                          " XDG_DATA_HOME=" + zeltest::ShellQuote(xdg.DataHome());
  const std::string loop = "for i in 1 2 3 4 5 6 7 8 9 10; do " + env + " " + zeltest::ShellQuote(ZELCTL_PATH) +
                           " annotate --important 1 " + zeltest::ShellQuote(call) + " >/dev/null || exit 1; done";
  auto both = zeltest::RunShell("(" + loop + ") & (" + loop + ") & wait %1 && wait %2");
  ASSERT_EQ(both.exitCode, 0) << both.err;
  auto result = zeltest::RunZelctl({"audit", "verify"}, env);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(result.out.find("intact: 20 lines"), std::string::npos) << result.out;
}

// The scheduled run (as the systemd timer starts it) applies an enabled rule after the job.
TEST(AuditCliTest, ScheduleRunAppliesTheRetentionRule) {
  zeltest::XdgSandbox xdg;
  zeltest::TempDir dir, archive;
  RecordingDescription d;
  d.startTime = 1300000000;
  const std::string call = zeltest::MakeRecording(dir, "old.zel", zeltest::Speech(8000), d);
  const std::string env = "XDG_CONFIG_HOME=" + zeltest::ShellQuote(xdg.ConfigHome()) +
                          " XDG_DATA_HOME=" + zeltest::ShellQuote(xdg.DataHome());
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"schedule", "set", "Enabled", "TRUE"}, {"schedule", "set", "ArchiveType", "1"},
           {"schedule", "set", "ArchivePath", archive.path()}, {"schedule", "add-folder", dir.path()},
           {"retention", "set", "OlderThanDays", "30"}, {"retention", "set", "Action", "delete"},
           {"retention", "add-folder", dir.path()}, {"retention", "set", "Enabled", "TRUE"}}) {
    auto result = zeltest::RunZelctl(arguments, env);
    ASSERT_EQ(result.exitCode, 0) << arguments[0] << " " << arguments[2] << ": " << result.err;
  }
  auto run = zeltest::RunZelctl({"schedule", "run", "--no-notify"}, env);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("removed  " + call), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(call));
  auto audit = zeltest::RunZelctl({"audit", "show", "--path", call}, env);
  EXPECT_NE(audit.out.find("archive"), std::string::npos) << audit.out;
  EXPECT_NE(audit.out.find("retention removal (deleted permanently; older than 30 days)"), std::string::npos)
      << audit.out;
}

}  // namespace
