#pragma once
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <variant>
#include <type_traits>
#include <utility>

// Runs a function on a pool thread and hands its result to a continuation on the GUI
// thread, so that a window never waits for slow work inside its own event handler.
//
//   task_ = CAsyncTask::Run(this, [](const CAsyncTask::Token& token) { return Count(token); },
//                           [this](int count) { ShowCount(count); });
//
// The continuation runs only while `receiver` lives and the task has not been
// cancelled; otherwise the result is dropped. The work must not touch widgets and
// must own (or copy) what it reads: the window may be gone when it runs.
class CAsyncTask {
  struct State {
    std::atomic<bool> cancelled{false};
    std::mutex lock;
    std::condition_variable returned;
    bool workReturned = false;  // under `lock`
    bool running = true;  // GUI thread only
    QPointer<QObject> receiver;  // GUI thread only
  };

 public:
  // Handed to a work function that takes it: polled so that a cancelled task stops early.
  class Token {
   public:
    bool Cancelled() const { return state_->cancelled.load(); }

   private:
    friend class CAsyncTask;
    explicit Token(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
  };

  // No task: not running, and Cancel does nothing.
  CAsyncTask() = default;

  // Starts `work` (callable as work() or work(const Token&)) off the GUI thread; its
  // result, or nothing for a void work, goes to `done` on the GUI thread. Must be
  // called on the GUI thread, with a receiver living there.
  template <typename Work, typename Done>
  static CAsyncTask Run(QObject* receiver, Work work, Done done) {
    auto state = std::make_shared<State>();
    state->receiver = receiver;
    QThreadPool::globalInstance()->start([state, work = std::move(work), done = std::move(done)]() mutable {
      const Token token(state);
      auto result = Call(work, token);
      {
        std::lock_guard<std::mutex> hold(state->lock);
        state->workReturned = true;
      }
      state->returned.notify_all();
      QCoreApplication* app = QCoreApplication::instance();
      if (app == nullptr) return;  // the program is ending
      QMetaObject::invokeMethod(
          app,
          [state, done = std::move(done), result = std::move(result)]() mutable {
            state->running = false;
            if (state->cancelled.load() || state->receiver.isNull()) return;
            if constexpr (std::is_same_v<decltype(result), std::monostate>) {
              done();
            } else {
              done(std::move(result));
            }
          },
          Qt::QueuedConnection);
    });
    CAsyncTask task;
    task.state_ = std::move(state);
    return task;
  }

  // The work sees its token cancelled and its result is dropped. GUI thread only.
  void Cancel() {
    if (state_) state_->cancelled = true;
  }
  // Started, and its result neither delivered nor dropped yet. GUI thread only.
  bool IsRunning() const { return state_ && state_->running; }
  // Blocks until the work has returned, without running events: for an owner that is
  // being destroyed and must not leave the work behind.
  void WaitForWork() const {
    if (!state_) return;
    std::unique_lock<std::mutex> hold(state_->lock);
    state_->returned.wait(hold, [this] { return state_->workReturned; });
  }

 private:
  template <typename Work>
  static auto Call(Work& work, const Token& token) {
    if constexpr (std::is_invocable_v<Work&, const Token&>) {
      return Wrap(work, token);
    } else {
      return Wrap(work);
    }
  }
  // A void result travels as std::monostate.
  template <typename Work, typename... Args>
  static auto Wrap(Work& work, const Args&... args) {
    if constexpr (std::is_void_v<std::invoke_result_t<Work&, const Args&...>>) {
      work(args...);
      return std::monostate{};
    } else {
      return work(args...);
    }
  }

  std::shared_ptr<State> state_;
};
