#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "core/CKlLoggedSemaphore.h"
#include "core/CKlLogger.h"
#include "core/CKlThread.h"
#include "core/Singleton.h"
#include "support/TestSupport.h"

namespace {

std::string LogText() { return zeltest::ReadFile(Singleton<CKlLogger>::Instance()->LogPath()); }

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// Runs until asked to stop, counting its passes.
class LoopThread : public CKlThread {
 public:
  explicit LoopThread(const std::string& name) : CKlThread(name) {}
  ~LoopThread() override { Stop(); }
  std::atomic<int> runs{0};
  std::atomic<int> finished{0};

 protected:
  unsigned Run() override {
    ++runs;
    while (IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++finished;
    return 7;
  }
};

// Stops itself from inside Run.
class SelfStoppingThread : public CKlThread {
 public:
  SelfStoppingThread() : CKlThread("SelfStopper") {}
  ~SelfStoppingThread() override { Stop(); }
  std::atomic<bool> returned{false};

 protected:
  unsigned Run() override {
    Stop();
    returned = !IsRunning();
    return 0;
  }
};

TEST(ThreadTest, StopOnANeverStartedThreadLogsAndReturns) {
  LoopThread thread("NeverStarted");
  EXPECT_FALSE(thread.IsRunning());
  thread.Stop();
  std::string log = LogText();
  EXPECT_NE(log.find("is waiting for thread 'NeverStarted' (0x0000)"), std::string::npos);
  EXPECT_NE(log.find("is done waiting for thread 'NeverStarted' (0x0000)"), std::string::npos);
}

TEST(ThreadTest, StartRunStopWritesEntryAndExitLines) {
  LoopThread thread("Worker A");
  thread.Start(THREAD_PRIORITY_NORMAL);
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_NE(thread.ThreadId(), 0u);
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.finished.load(), 1);
  char expected[128];
  std::snprintf(expected, sizeof expected, "Thread: Entered thread:Worker A id:0x%04x.\n",
                thread.ThreadId());
  std::string log = LogText();
  EXPECT_NE(log.find(expected), std::string::npos);
  std::snprintf(expected, sizeof expected, "Thread: Exiting thread: Worker A id:0x%04x. result:7\n",
                thread.ThreadId());
  EXPECT_NE(log.find(expected), std::string::npos);
}

TEST(ThreadTest, StartOnARunningThreadStopsTheFirstRunBeforeTheSecond) {
  LoopThread thread("Restarted");
  thread.Start(THREAD_PRIORITY_NORMAL);
  while (thread.runs.load() == 0) std::this_thread::yield();
  thread.Start(THREAD_PRIORITY_BELOW_NORMAL);
  // The first run had returned before Start came back.
  EXPECT_EQ(thread.finished.load(), 1);
  while (thread.runs.load() < 2) std::this_thread::yield();
  EXPECT_TRUE(thread.IsRunning());
  thread.Stop();
  EXPECT_EQ(thread.finished.load(), 2);
}

TEST(ThreadTest, StopFromInsideRunDoesNotDeadlock) {
  SelfStoppingThread thread;
  thread.Start(THREAD_PRIORITY_NORMAL);
  thread.Stop();  // joins the finished worker
  EXPECT_TRUE(thread.returned.load());
}

// Pauses in Run for a minute unless asked to stop.
class PausingThread : public CKlThread {
 public:
  PausingThread() : CKlThread("Pauser") {}
  ~PausingThread() override { Stop(); }
  std::atomic<bool> cutShort{false};

 protected:
  unsigned Run() override {
    cutShort = WaitUntilStopped(60000);
    return 0;
  }
};

TEST(ThreadTest, WaitUntilStoppedTimesOutWhileRunningAndWakesOnAStop) {
  PausingThread thread;
  EXPECT_TRUE(thread.WaitUntilStopped(0));  // never started
  thread.Start(THREAD_PRIORITY_NORMAL);
  EXPECT_FALSE(thread.WaitUntilStopped(30));
  auto begin = std::chrono::steady_clock::now();
  std::thread stopper([&] { thread.SignalStop(); });
  EXPECT_TRUE(thread.WaitUntilStopped(-1));
  stopper.join();
  thread.Stop();
  EXPECT_TRUE(thread.cutShort.load());
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
}

TEST(ThreadTest, PendingFlagIsTakenOnce) {
  LoopThread thread("Pending");
  EXPECT_FALSE(thread.TakePendingFlag());
  thread.SetPendingFlag();
  EXPECT_TRUE(thread.TakePendingFlag());
  EXPECT_FALSE(thread.TakePendingFlag());
}

TEST(SemaphoreTest, FileNamePartTakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(CKlLoggedSemaphore::FileNamePart("/src/organiser/Search.cpp"), "Search.cpp");
  EXPECT_EQ(CKlLoggedSemaphore::FileNamePart(".\\SearchManager"), "SearchManager");
  EXPECT_EQ(CKlLoggedSemaphore::FileNamePart("plain"), "plain");
  EXPECT_EQ(CKlLoggedSemaphore::FileNamePart(nullptr), "");
}

TEST(SemaphoreTest, AWaiterLogsEachPeriodThenAcquires) {
  CKlLoggedSemaphore semaphore("LONG_HOLD", false, 200);
  const std::regex line(
      R"(Semaphore <LONG_HOLD> timeout from \[waiter\.cpp\(21\)\] as thread [0-9A-F]+ \[holder\.cpp\(11\)\] has it)");
  // Only lines this run writes count: a repeated run finds the earlier ones.
  const size_t start = LogText().size();
  auto timeouts = [&] {
    std::string log = LogText().substr(start);
    return static_cast<size_t>(
        std::distance(std::sregex_iterator(log.begin(), log.end(), line), std::sregex_iterator()));
  };
  std::atomic<bool> held{false};
  // The holder keeps the lock until the waiter has logged two periods of waiting.
  std::thread holder([&] {
    semaphore.Lock("/x/holder.cpp", 11);
    held = true;
    while (timeouts() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    semaphore.Unlock("/x/holder.cpp", 12);
  });
  while (!held) std::this_thread::yield();
  semaphore.Lock("/y/waiter.cpp", 21);
  uint32_t owner = semaphore.OwnerThreadId();
  semaphore.Unlock("/y/waiter.cpp", 22);
  holder.join();
  EXPECT_EQ(owner, CKlThread::CurrentThreadId());
  EXPECT_EQ(timeouts(), 2u);
}

TEST(SemaphoreTest, UnlockFromAnotherThreadIsLoggedAndReleases) {
  CKlLoggedSemaphore semaphore("FOREIGN");
  semaphore.Lock("a/owner.cpp", 5);
  std::thread other([&] { semaphore.Unlock("b/other.cpp", 6); });
  other.join();
  std::string log = LogText();
  EXPECT_NE(log.find("Unlocking semaphore <FOREIGN> from [other.cpp(6)], locked by thread"),
            std::string::npos);
  EXPECT_NE(log.find("[owner.cpp(5)]"), std::string::npos);
  // Released: taking it again does not wait.
  semaphore.Lock("a/owner.cpp", 7);
  semaphore.Unlock("a/owner.cpp", 8);
  EXPECT_EQ(Count(LogText(), "Semaphore <FOREIGN> timeout"), 0u);
}

TEST(SemaphoreTest, AScopedLockNamesItsOwnLineWhenItsUnlockIsForeign) {
  CKlLoggedSemaphore semaphore("SCOPED_FOREIGN");
  int lockLine;
  {
    lockLine = __LINE__ + 1;
    ZEL_LOCK(semaphore);
    semaphore.Unlock("x/early.cpp", 1);  // the scoped unlock below is then not the owner's
  }
  std::string expected =
      "Unlocking semaphore <SCOPED_FOREIGN> from [ThreadTest.cpp(" + std::to_string(lockLine) + ")]";
  EXPECT_NE(LogText().find(expected), std::string::npos) << expected;
}

TEST(SemaphoreTest, ScopedLockReleasesOnEveryWayOut) {
  CKlLoggedSemaphore semaphore("SCOPED");
  auto earlyReturn = [&](bool early) {
    ZEL_LOCK(semaphore);
    if (early) return 1;
    return 2;
  };
  EXPECT_EQ(earlyReturn(true), 1);
  EXPECT_EQ(earlyReturn(false), 2);
  EXPECT_EQ(semaphore.OwnerThreadId(), 0u);
}

}  // namespace
