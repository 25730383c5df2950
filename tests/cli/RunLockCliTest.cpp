#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Archive/CArchiveRunLock.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "support/TestSupport.h"

using zeltest::RunZelctl;

namespace {

size_t LogLines() {
  auto log = RunZelctl({"archive-log"});
  size_t lines = 0;
  for (char c : log.out) lines += c == '\n' ? 1 : 0;
  return lines;
}

}  // namespace

// Another run (here: this test) holds the lock; zelctl waits, then says so and
// leaves archive and log alone. Once the lock is free, exactly one archive and
// one log entry come of it.
TEST(RunLockCliTest, ASecondRunWaitsThenGivesUpWithoutTouchingArchiveOrLog) {
  zeltest::XdgSandbox sandbox;
  zeltest::TempDir dir;
  std::string demo = dir.File("demo");
  archtest::MakeDirs(demo);
  archtest::MakeRecording(demo + "/4711-20261207 101507.zel", 1796638507, 4000);
  std::string target = dir.File("out.zip");
  std::vector<std::string> run = {"archive", "--type", "zip", "--target", target, "--select", "unarchived", demo};

  auto holder = std::make_unique<CArchiveRunLock>();
  ASSERT_TRUE(holder->Acquire());
  auto refused = RunZelctl(run, "ZEL_ARCHIVE_RUN_WAIT=0.3");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("Another archive run is in progress"), std::string::npos) << refused.err;
  EXPECT_FALSE(zeltest::FileExists(target));
  EXPECT_EQ(LogLines(), 0u);

  // Freed while the second run waits: it goes ahead.
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    holder.reset();
  });
  auto waited = RunZelctl(run, "ZEL_ARCHIVE_RUN_WAIT=20");
  releaser.join();
  EXPECT_EQ(waited.exitCode, 0) << waited.err;
  EXPECT_TRUE(zeltest::FileExists(target));
  EXPECT_EQ(LogLines(), 1u);
}

// The timer commands write the units where systemd looks, and report that they
// could not enable them when there is no user session.
TEST(RunLockCliTest, InstallTimerWritesUnitsAndReportsAFailedEnable) {
  zeltest::XdgSandbox sandbox;
  std::string units = std::string(std::getenv("XDG_CONFIG_HOME")) + "/systemd/user";
  ASSERT_EQ(RunZelctl({"schedule", "set", "ScheduledTime", "2026-12-09 07:45"}).exitCode, 0);
  auto failed = RunZelctl({"schedule", "install-timer"}, "ZEL_SYSTEMCTL=false");
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_NE(failed.err.find("could not be enabled"), std::string::npos) << failed.err;
  std::string timer = zeltest::ReadFile(units + "/zel-velomar-archive.timer");
  EXPECT_NE(timer.find("OnCalendar=*-*-* 07:45:00\n"), std::string::npos) << timer;
  EXPECT_NE(zeltest::ReadFile(units + "/zel-velomar-archive.service").find("schedule run --if-due"),
            std::string::npos);

  EXPECT_EQ(RunZelctl({"schedule", "install-timer"}, "ZEL_SYSTEMCTL=true").exitCode, 0);
  // A new time moves the installed timer along.
  EXPECT_EQ(RunZelctl({"schedule", "set", "ScheduledTime", "2026-12-10 18:20"}, "ZEL_SYSTEMCTL=true").exitCode, 0);
  EXPECT_NE(zeltest::ReadFile(units + "/zel-velomar-archive.timer").find("OnCalendar=*-*-* 18:20:00\n"),
            std::string::npos);
  EXPECT_EQ(RunZelctl({"schedule", "remove-timer"}, "ZEL_SYSTEMCTL=true").exitCode, 0);
  EXPECT_FALSE(zeltest::FileExists(units + "/zel-velomar-archive.timer"));
  EXPECT_FALSE(zeltest::FileExists(units + "/zel-velomar-archive.service"));

  // Not due: the timer's daily call does nothing, and a switched-off schedule is
  // never due.
  auto off = RunZelctl({"schedule", "run", "--if-due", "--no-notify"});
  EXPECT_EQ(off.exitCode, 0);
  EXPECT_NE(off.err.find("Scheduler is not Enabled"), std::string::npos) << off.err;
  EXPECT_EQ(RunZelctl({"schedule", "run", "--no-notify"}).exitCode, 1);
  ASSERT_EQ(RunZelctl({"schedule", "set", "Enabled", "TRUE"}).exitCode, 0);
  ASSERT_EQ(RunZelctl({"schedule", "set", "ScheduledTime", "2037-12-01 07:45"}).exitCode, 0);
  auto early = RunZelctl({"schedule", "run", "--if-due", "--no-notify"});
  EXPECT_EQ(early.exitCode, 0);
  EXPECT_NE(early.err.find("not due"), std::string::npos) << early.err;
  EXPECT_EQ(LogLines(), 0u);
}

// A run nobody watches tells the desktop how it ended; without a notification
// service the run's own result stands.
TEST(RunLockCliTest, AnUnattendedRunNotifiesTheDesktop) {
  zeltest::XdgSandbox sandbox;
  zeltest::TempDir dir;
  std::string demo = dir.File("demo");
  archtest::MakeDirs(demo);
  archtest::MakeRecording(demo + "/4711-20261207 101507.zel", 1796638507, 4000);
  std::string bin = dir.File("bin");
  archtest::MakeDirs(bin);
  std::string said = dir.File("said");
  zeltest::WriteFile(bin + "/gdbus", "#!/bin/sh\nprintf '%s\\n' \"$@\" >>" + zeltest::ShellQuote(said) + "\n");
  std::filesystem::permissions(bin + "/gdbus", std::filesystem::perms::owner_all);
  for (auto setting : std::vector<std::vector<std::string>>{{"set", "Enabled", "TRUE"},
                                                             {"set", "ArchiveType", "2"},
                                                             {"set", "ArchivePath", dir.File("out")},
                                                             {"add-folder", demo}}) {
    setting.insert(setting.begin(), "schedule");
    ASSERT_EQ(RunZelctl(setting).exitCode, 0);
  }
  std::string path = "PATH=" + zeltest::ShellQuote(bin) + ":\"$PATH\"";
  auto run = RunZelctl({"schedule", "run", "--notify"}, path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::string notified = zeltest::ReadFile(said);
  EXPECT_NE(notified.find("org.freedesktop.Notifications.Notify"), std::string::npos) << notified;
  EXPECT_NE(notified.find("Archive Calls finished: 1 (from 1) calls archived."), std::string::npos) << notified;

  // No service, no notify-send: the run still succeeds, and says it could not tell.
  zeltest::WriteFile(bin + "/gdbus", "#!/bin/sh\nexit 1\n");
  zeltest::WriteFile(bin + "/notify-send", "#!/bin/sh\nexit 1\n");
  std::filesystem::permissions(bin + "/notify-send", std::filesystem::perms::owner_all);
  auto quiet = RunZelctl({"schedule", "run", "--notify"}, path);
  EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_NE(quiet.err.find("no desktop notification"), std::string::npos) << quiet.err;
}

// The timer fires while the window runs the same slot: once that run has ended
// and saved the schedule, the timer's run finds the job no longer due.
TEST(RunLockCliTest, ATimerRunAfterTheWindowsRunOfTheSlotDoesNothing) {
  zeltest::XdgSandbox sandbox;
  zeltest::TempDir dir;
  std::string demo = dir.File("demo");
  archtest::MakeDirs(demo);
  archtest::MakeRecording(demo + "/4711-20261207 101507.zel", 1796638507, 4000);
  for (auto setting : std::vector<std::vector<std::string>>{{"set", "Enabled", "TRUE"},
                                                             {"set", "ArchiveType", "2"},
                                                             {"set", "ArchivePath", dir.File("out")},
                                                             {"set", "ScheduledTime", "2020-01-01 10:00"},
                                                             {"add-folder", demo}}) {
    setting.insert(setting.begin(), "schedule");
    ASSERT_EQ(RunZelctl(setting).exitCode, 0);
  }
  auto window = std::make_unique<CArchiveRunLock>();
  ASSERT_TRUE(window->Acquire());
  zeltest::CommandResult timer;
  std::thread fired(
      [&] { timer = RunZelctl({"schedule", "run", "--if-due", "--no-notify"}, "ZEL_ARCHIVE_RUN_WAIT=20"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // What the window's run leaves: the next slot in the file.
  ASSERT_EQ(RunZelctl({"schedule", "set", "ScheduledTime", "2037-12-01 10:00"}).exitCode, 0);
  window.reset();
  fired.join();
  EXPECT_EQ(timer.exitCode, 0) << timer.err;
  EXPECT_NE(timer.err.find("not due"), std::string::npos) << timer.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
  EXPECT_EQ(LogLines(), 0u);
}
