#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "core/CKlLogger.h"
#include "core/CKlThread.h"
#include "core/Singleton.h"
#include "support/TestSupport.h"

namespace {

std::atomic<int> g_constructions{0};

std::string SelfPath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

struct Counted {
  Counted() {
    ++g_constructions;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
};

// A worker that logs while it stops, like the managers at exit.
class ExitLoggingWorker : public CKlThread {
 public:
  ExitLoggingWorker() : CKlThread("ExitLogger") {}
  ~ExitLoggingWorker() override {
    Stop();
    Singleton<CKlLogger>::Instance()->LogLine("worker destroyed");
  }

 protected:
  unsigned Run() override {
    while (IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
  }
};

TEST(SingletonTest, SuccessiveCallsReturnTheSameObject) {
  auto* first = Singleton<Counted>::Instance().get();
  auto* second = Singleton<Counted>::Instance().get();
  EXPECT_EQ(first, second);
}

TEST(SingletonTest, ConcurrentFirstUseCreatesOneInstance) {
  struct Racy : Counted {};
  int before = g_constructions.load();
  std::vector<std::thread> threads;
  std::vector<Racy*> seen(8, nullptr);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&seen, i] { seen[i] = Singleton<Racy>::Instance().get(); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(g_constructions.load() - before, 1);
  for (auto* p : seen) EXPECT_EQ(p, seen[0]);
}

// Runs only inside the child process started by the next test: a fresh process in
// which the worker exists before the logger does.
TEST(SingletonChild, StartWorkerAndExit) {
  if (std::getenv("ZELTEST_SINGLETON_CHILD") == nullptr) GTEST_SKIP() << "child-only test";
  Singleton<ExitLoggingWorker>::Instance()->Start(THREAD_PRIORITY_NORMAL);
  std::exit(0);  // runs the exit-time destruction
}

TEST(SingletonTest, TheLoggerOutlivesManagersAtProcessExit) {
  zeltest::TempDir dir;
  auto child = zeltest::RunShell("ZELTEST_SINGLETON_CHILD=1 ZELTEST_KEEP_XDG=1 XDG_DATA_HOME=" +
                                 zeltest::ShellQuote(dir.path()) + " " +
                                 zeltest::ShellQuote(SelfPath()) +
                                 " --gtest_filter=SingletonChild.StartWorkerAndExit");
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  std::string log = zeltest::ReadFile(dir.path() + "/Merovane/Log/Log.txt");
  size_t exiting = log.find("Thread: Exiting thread: ExitLogger");
  size_t destroyed = log.find("worker destroyed");
  EXPECT_NE(exiting, std::string::npos) << log;
  EXPECT_NE(destroyed, std::string::npos) << log;
  EXPECT_LT(exiting, destroyed);
}

}  // namespace
