#include "Archive/CRetention.h"
#include "Archive/ui/CArchiveCommands.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <ctime>
#include <mutex>
#include <vector>

#include "Archive/ArchiveRunSummary.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchScheduler.h"
#include "Archive/ui/CArchiveCallsProgressDlg.h"
#include "Archive/ui/CArchiveSettingsSheet.h"
#include "Archive/ui/CArchiveWizard.h"
#include "core/MessageSink.h"
#include "platform/Desktop.h"

namespace {

// A QTimer counts milliseconds in an int: a longer wait is made in steps.
constexpr int64_t kLongestWaitMs = 20LL * 24 * 3600 * 1000;

// Keeps what a scheduled run has to say for its end-of-run box: a box shown
// while nobody is at the desk would hold the archive thread, and with it the
// schedule. Questions go to the sink that was installed before.
class RunMessages : public IMessageSink {
 public:
  explicit RunMessages(std::shared_ptr<IMessageSink> previous) : previous_(std::move(previous)) {}
  void ShowMessage(const std::string& text, const std::string&, Icon) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(text);
  }
  Answer AskYesNo(const std::string& text, const std::string& caption) override {
    return previous_->AskYesNo(text, caption);
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::shared_ptr<IMessageSink> previous_;
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

}  // namespace

CArchiveCommands::CArchiveCommands(QWidget* mainWindow) : QObject(mainWindow), window_(mainWindow) {
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &CArchiveCommands::TimerFired);
  Singleton<CJobArchScheduler>::Instance()->Load();
  ArmTimer();
}

CArchiveCommands::~CArchiveCommands() = default;

int CArchiveCommands::Exec(QDialog& dialog) { return execDialog ? execDialog(dialog) : dialog.exec(); }

void CArchiveCommands::RunWizard(ArchiveCallList list) {
  if (list.document == nullptr) return;
  CArchiveWizard wizard(std::move(list), window_);
  Exec(wizard);
}

void CArchiveCommands::ShowSettings() { ShowSheet(CArchiveSettingsSheet::kSettingsPage); }
void CArchiveCommands::ShowLogs() { ShowSheet(CArchiveSettingsSheet::kLogPage); }

void CArchiveCommands::ShowSheet(int page) {
  CArchiveSettingsSheet sheet(static_cast<CArchiveSettingsSheet::Page>(page), window_);
  connect(&sheet, &CArchiveSettingsSheet::scheduleApplied, this, &CArchiveCommands::ArmTimer);
  Exec(sheet);
}

bool CArchiveCommands::TimerActive() const { return timer_->isActive(); }

void CArchiveCommands::ArmTimer() {
  timer_->stop();
  due_ = 0;
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  if (!scheduler->GetSettings().Enabled) return;
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  int64_t next = scheduler->NextRunTime();
  int64_t waitMs = next > now ? (next - now) * 1000 : 60 * 1000;
  due_ = now + waitMs / 1000;
  timer_->start(static_cast<int>(std::min(waitMs, kLongestWaitMs)));
}

void CArchiveCommands::TimerFired() {
  if (due_ > static_cast<int64_t>(std::time(nullptr)) + 60) {
    // One step of a long wait has passed.
    auto now = static_cast<int64_t>(std::time(nullptr));
    timer_->start(static_cast<int>(std::min((due_ - now) * 1000, kLongestWaitMs)));
    return;
  }
  RunScheduled(false);
}

void CArchiveCommands::RunScheduledNow() { RunScheduled(true); }

void CArchiveCommands::RunScheduled(bool asked) {
  if (running_) return;  // a run is on; its dialog is showing
  timer_->stop();
  due_ = 0;
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  if (!scheduler->GetSettings().Enabled) {
    auto answer = zel::MessageSink()->AskYesNo(
        "\u2018Scheduler is not Enabled, would you like to Modify Settings now?", "Zel Velomar");
    if (answer == IMessageSink::Answer::Yes) ShowSettings();
    return;
  }
  auto manager = Singleton<CArchiveManager>::Instance();
  if (manager->IsRunning() || manager->JobCount() > 0) {
    // The manager holds another job (the wizard's): starting now would run or
    // stop it. The timer tries again in a minute; the user is told why nothing started.
    if (asked) {
      zel::MessageSink()->ShowMessage("Another archive job is running. Run the scheduled job when it has ended.",
                                      "Zel Velomar", IMessageSink::Icon::Warning);
      ArmTimer();
      return;
    }
    due_ = static_cast<int64_t>(std::time(nullptr)) + 60;
    timer_->start(60 * 1000);
    return;
  }
  running_ = true;
  std::shared_ptr<IMessageSink> previous = zel::MessageSink();
  auto messages = std::make_shared<RunMessages>(previous);
  zel::SetMessageSink(messages);
  CArchiveCallsProgressDlg dialog(window_);
  scheduler->RunJob();
  bool finished = Exec(dialog) == QDialog::Accepted;
  // The run's log entry is written on the manager's thread as it ends.
  while (manager->IsRunning()) manager->WaitUntilStopped(50);
  zel::SetMessageSink(previous);
  ArchiveRunSummary summary(manager->GetRunStats(), !finished);
  // The retention rule runs after the scheduled job, off this thread; its
  // removals go to the audit trail and the archive log.
  if (finished) Singleton<CRetention>::Instance()->RunInBackground();
  running_ = false;
  // The next run is armed before the user is told: the box may stay unanswered.
  ArmTimer();
  QString text = QString::fromStdString(summary.Text());
  for (const auto& problem : messages->Texts()) text += QStringLiteral("\n\n") + QString::fromStdString(problem);
  ShowRunReport(text, finished && !summary.Failed());
}

void CArchiveCommands::ShowRunReport(const QString& text, bool success) {
  // Not modal, and the one of an earlier run makes way: boxes of unattended runs
  // neither hold the schedule nor pile up.
  if (report_) report_->close();
  auto* box = new QMessageBox(success ? QMessageBox::Information : QMessageBox::Warning, QStringLiteral("Zel Velomar"),
                              text, QMessageBox::Ok, window_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  report_ = box;
  box->show();
}

