#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "Archive/CArchiveRunLock.h"
#include "Archive/CSystemdTimer.h"
#include "support/TestSupport.h"

namespace {

// systemd's own check of the units, when the tool is there; a private runtime
// folder stands in for the user session that CI does not have.
void ExpectVerified(const std::string& folder) {
  if (!zeltest::ToolAvailable("systemd-analyze")) GTEST_SKIP() << "no systemd-analyze";
  std::string runtime = folder + "/run";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  auto verified = zeltest::RunShell("XDG_RUNTIME_DIR=" + zeltest::ShellQuote(runtime) +
                                    " systemd-analyze --user --man=no verify " +
                                    zeltest::ShellQuote(folder + "/" + CSystemdTimer::kTimerName) + " " +
                                    zeltest::ShellQuote(folder + "/" + CSystemdTimer::kServiceName) + " 2>&1");
  EXPECT_EQ(verified.exitCode, 0) << verified.out;
}

}  // namespace

TEST(SystemdTimerTest, TwoSchedulesGiveValidUnitsThatRemoveCleanly) {
  zeltest::TempDir dir;
  // A program path with a blank, "%" and "$" must reach ExecStart unchanged.
  std::string program = dir.File("my 100% $tools/zelctl");
  std::filesystem::create_directories(std::filesystem::path(program).parent_path());
  zeltest::WriteFile(program, "#!/bin/sh\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);

  struct Case {
    int timeOfDay;
    const char* calendar;
  };
  for (Case c : {Case{10 * 3600 + 15 * 60, "OnCalendar=*-*-* 10:15:00\n"},
                 Case{23 * 3600 + 5 * 60 + 30, "OnCalendar=*-*-* 23:05:30\n"}}) {
    SCOPED_TRACE(c.calendar);
    CSystemdTimer timer(program, c.timeOfDay);
    timer.AddEnvironment("XDG_CONFIG_HOME", dir.File("con fig"));
    std::string units = dir.File("units");
    ASSERT_EQ(timer.Write(units), "");
    std::string timerText = zeltest::ReadFile(units + "/" + CSystemdTimer::kTimerName);
    std::string serviceText = zeltest::ReadFile(units + "/" + CSystemdTimer::kServiceName);
    EXPECT_NE(timerText.find(c.calendar), std::string::npos) << timerText;
    EXPECT_NE(timerText.find("Persistent=true\n"), std::string::npos);
    EXPECT_NE(timerText.find("Unit=zel-velomar-archive.service\n"), std::string::npos);
    EXPECT_NE(serviceText.find("ExecStart=\"" + dir.path() + "/my 100%% $tools/zelctl\" schedule run --if-due"),
              std::string::npos)
        << serviceText;
    EXPECT_NE(serviceText.find("Environment=\"XDG_CONFIG_HOME=" + dir.path() + "/con fig\"\n"), std::string::npos);
    ExpectVerified(units);
    EXPECT_EQ(CSystemdTimer::Remove(units), "");
    EXPECT_FALSE(zeltest::FileExists(units + "/" + CSystemdTimer::kTimerName));
    EXPECT_FALSE(zeltest::FileExists(units + "/" + CSystemdTimer::kServiceName));
  }
  struct tm local {};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 9;
  local.tm_hour = 14;
  local.tm_min = 7;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  EXPECT_EQ(CSystemdTimer::TimeOfDayOf(static_cast<int64_t>(mktime(&local))), 14 * 3600 + 7 * 60 + 9);
}

// A folder name must not add directives: a hostile folder in the environment
// stays one value, and a program path systemd would refuse writes no unit.
TEST(SystemdTimerTest, HostileFoldersAddNoDirectives) {
  zeltest::TempDir dir;
  std::string program = dir.File("bin/zelctl");
  std::filesystem::create_directories(dir.File("bin"));
  zeltest::WriteFile(program, "#!/bin/sh\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  int n = 0;
  for (std::string name : {"cr\rExecStartPre=/bin/false", "lf\nExecStartPre=/bin/false", "tab\tesc\x1b del\x7f",
                           "q\" \\\" $HOME %h"}) {
    SCOPED_TRACE(zeltest::ShellQuote(name));
    std::string units = dir.File(std::to_string(++n));
    CSystemdTimer timer(program, 3600);
    timer.AddEnvironment("XDG_DATA_HOME", name);
    ASSERT_EQ(timer.Write(units), "");
    std::string service = zeltest::ReadFile(units + "/" + CSystemdTimer::kServiceName);
    EXPECT_EQ(service.find('\r'), std::string::npos);
    EXPECT_EQ(service.find("\nExecStartPre"), std::string::npos) << service;
    ExpectVerified(units);
    EXPECT_NE(CSystemdTimer(dir.File(name + "/zelctl"), 3600).Write(units + "/bad"), "");
    EXPECT_FALSE(zeltest::FileExists(units + "/bad/" + CSystemdTimer::kServiceName));
  }
}

TEST(SystemdTimerTest, UnitFolderFollowsXdgConfigHome) {
  zeltest::ScopedEnv config("XDG_CONFIG_HOME", "/x/conf");
  EXPECT_EQ(CSystemdTimer::UserUnitFolder(), "/x/conf/systemd/user");
  zeltest::ScopedEnv relative("XDG_CONFIG_HOME", "relative");
  zeltest::ScopedEnv home("HOME", "/home/u");
  EXPECT_EQ(CSystemdTimer::UserUnitFolder(), "/home/u/.config/systemd/user");
}

TEST(ArchiveRunLockTest, SecondHolderWaitsThenGivesUpOrGetsIt) {
  zeltest::TempDir dir;
  std::string path = dir.File("archive-run");
  CArchiveRunLock first(path);
  ASSERT_TRUE(first.Acquire());
  EXPECT_FALSE(first.Waited());

  CArchiveRunLock second(path);
  second.SetWaitSeconds(0.3);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(second.Acquire());
  EXPECT_TRUE(second.Waited());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));

  // Stopping the run ends the wait at once.
  second.SetWaitSeconds(30);
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(second.Acquire([] { return false; }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // Released while the second waits: it gets the lock.
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    first.Release();
  });
  EXPECT_TRUE(second.Acquire());
  releaser.join();
  EXPECT_TRUE(second.Held());
  EXPECT_TRUE(second.Waited());

  zeltest::ScopedEnv wait("ZEL_ARCHIVE_RUN_WAIT", "2.5");
  EXPECT_DOUBLE_EQ(CArchiveRunLock::DefaultWaitSeconds(), 2.5);
  zeltest::ScopedEnv bad("ZEL_ARCHIVE_RUN_WAIT", "soon");
  EXPECT_DOUBLE_EQ(CArchiveRunLock::DefaultWaitSeconds(), 60.0);
}
