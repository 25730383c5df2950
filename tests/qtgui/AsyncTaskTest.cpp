#include <gtest/gtest.h>

#include <QThread>
#include <QtTest/QTest>
#include <atomic>
#include <memory>

#include "toolkit/ui/CAsyncTask.h"

// The work is held until the case has done its step, so a cancel or a deleted
// receiver always comes before the result: only a plain run delivers it, on the GUI
// thread, and a cancelled work sees its token.
TEST(AsyncTask, DeliversOnTheGuiThreadUnlessCancelledOrReceiverGone) {
  enum class Step { kNone, kCancel, kDeleteReceiver };
  for (Step step : {Step::kNone, Step::kCancel, Step::kDeleteReceiver}) {
    SCOPED_TRACE(static_cast<int>(step));
    auto receiver = std::make_unique<QObject>();
    std::atomic<bool> release{false};
    std::atomic<bool> sawCancel{false};
    QThread* workThread = nullptr;
    int delivered = 0;
    bool onGuiThread = false;
    CAsyncTask task = CAsyncTask::Run(
        receiver.get(),
        [&](const CAsyncTask::Token& token) {
          while (!release) QThread::msleep(1);
          workThread = QThread::currentThread();
          sawCancel = token.Cancelled();
          return 42;
        },
        [&](int value) {
          delivered = value;
          onGuiThread = QThread::currentThread() == qApp->thread();
        });
    EXPECT_TRUE(task.IsRunning());
    if (step == Step::kCancel) task.Cancel();
    if (step == Step::kDeleteReceiver) receiver.reset();
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !task.IsRunning(); }, 5000));
    EXPECT_NE(workThread, qApp->thread());
    EXPECT_EQ(sawCancel, step == Step::kCancel);
    EXPECT_EQ(delivered, step == Step::kNone ? 42 : 0);
    EXPECT_EQ(onGuiThread, step == Step::kNone);
  }
}
