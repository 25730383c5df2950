#include "organiser/ui/CSearchFlow.h"

#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include "core/Singleton.h"
#include "organiser/CSearchManager.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/ui/CCatalogueWatcher.h"
#include "organiser/ui/CZelVelomarView.h"
#include "organiser/ui/IListWindowHost.h"
#include "toolkit/ui/CProgressWnd.h"
#include "toolkit/ui/StringTable.h"

using namespace zelgui;

namespace {

const char* kNoRecordings = "No recordings found which match your specified criteria.";

QString Compiling(int processed, int total) {
  return QString::asprintf(Str(kStrCompiling).toUtf8().constData(), processed, total);
}

CSearchManager& Manager() { return *Singleton<CSearchManager>::Instance(); }

}  // namespace

CSearchFlow::CSearchFlow(QWidget* window, IListWindowHost* host)
    : window_(window), host_(host), timer_(new QTimer(this)), watcher_(new CCatalogueWatcher(this)) {
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, &CSearchFlow::OnTick);
}

CSearchFlow::~CSearchFlow() {
  prepare_.WaitForWork();
  take_.WaitForWork();
  if (timer_->isActive() || prepare_.IsRunning()) Manager().StopSearch();
}

bool CSearchFlow::Running() const { return progress_ != nullptr || prepare_.IsRunning() || take_.IsRunning(); }

void CSearchFlow::Start(const SearchCriteria& criteria, Origin origin, CZelVelomarView* target, bool replace) {
  if (Running()) return;
  origin_ = origin;
  target_ = target;
  toNewWindow_ = target == nullptr;
  cancelled_ = false;

  progress_ = new CProgressWnd(window_, Str(kStrTaskInProgress));
  progress_->setAttribute(Qt::WA_DeleteOnClose);
  progress_->SetText(Str(kStrScanning));
  progress_->SetRange(0, 0);  // busy until the count is known
  // The button and Esc cancel at once rather than at the next poll.
  if (auto* button = progress_->findChild<QPushButton*>()) {
    connect(button, &QPushButton::clicked, this, &CSearchFlow::Cancel);
  }
  connect(progress_, &QDialog::rejected, this, &CSearchFlow::Cancel);
  progress_->setWindowModality(Qt::ApplicationModal);
  progress_->show();
  emit RunningChanged();

  // The counting pass lists every folder: on the GUI thread a large tree would
  // freeze the window, so it runs beside it and the flow waits for its end.
  Manager().SetReplaceList(origin == Origin::RunSearch && replace ? 1 : 0);
  prepare_ = CAsyncTask::Run(
      this, [criteria] { Manager().PrepareSearch(criteria, 5, 1); }, [this] { AfterPrepare(); });
}

void CSearchFlow::AfterPrepare() {
  auto& manager = Manager();
  if (cancelled_) {
    manager.ClearResults();
    End();
    return;
  }
  SearchStatus status;
  manager.GetStatus(status);
  if (status.failed || status.total == 0) {
    End();
    QMessageBox box(QMessageBox::Information, Str(kStrAppTitle), QString::fromUtf8(kNoRecordings), QMessageBox::Ok,
                    window_);
    // A share that is not mounted: its calls are kept for when it is back.
    QStringList masked;
    for (const std::string& folder : manager.MaskedFolders()) masked << QString::fromStdString(folder);
    if (!masked.isEmpty()) {
      box.setInformativeText(QStringLiteral("Not reachable now: %1. The catalogue keeps its recordings until it is back.")
                                 .arg(masked.join(QStringLiteral(", "))));
    }
    box.exec();
    return;
  }
  progress_->SetText(Compiling(0, status.total));
  progress_->SetRange(0, status.total);
  progress_->SetPos(0);
  manager.StartSearch();
  timer_->start();
  if (!timer_->isActive()) {
    manager.StopSearch();
    End();
    QMessageBox::warning(window_, Str(kStrAppTitle),
                         origin_ == Origin::CreateForFolders ? tr("Failed to start search.")
                                                             : tr("Falied to start search."));
  }
}

void CSearchFlow::OnTick() {
  auto& manager = Manager();
  SearchStatus status;
  manager.GetStatus(status);
  if (cancelled_ || !progress_) {
    Cancel();
    return;
  }
  progress_->SetPos(status.processed);
  progress_->SetText(Compiling(status.processed, status.total));
  if (!status.failed && status.processed != status.total && manager.IsRunning()) return;
  // The walk has ended (or files vanished between the count and the walk).
  timer_->stop();
  if (status.failed) {
    manager.StopSearch();
    End();
    return;
  }
  TakeResults();
}

void CSearchFlow::Cancel() {
  cancelled_ = true;
  if (prepare_.IsRunning()) return;  // ends when the count does
  if (take_.IsRunning()) return;     // the search is over; its list is nearly there
  timer_->stop();
  Manager().StopSearch();
  Manager().ClearResults();
  End();
}

void CSearchFlow::End() {
  timer_->stop();
  watcher_->Rewatch();
  if (progress_) {
    progress_->disconnect(this);
    progress_->close();
    progress_ = nullptr;
  }
  emit RunningChanged();
}

void CSearchFlow::TakeResults() {
  auto& manager = Manager();
  CZelVelomarView* view = target_;
  if (!view && !toNewWindow_) {  // the list closed meanwhile
    manager.ClearResults();
    manager.SetReplaceList(0);
    End();
    return;
  }
  if (view) {
    if (manager.GetReplaceList() == 1) view->Document().ClearEntries();
    const bool added = view->Document().EntryCount() > 0;
    manager.TakeResults(&view->Document());
    End();
    ShowTakenResults(view, added);
    return;
  }
  // The work owns the new list until its window takes it.
  take_ = CAsyncTask::Run(
      this,
      [] {
        auto document = std::make_unique<CZelVelomarDoc>();
        Manager().TakeResults(document.get());
        return document;
      },
      [this](std::unique_ptr<CZelVelomarDoc> document) {
        End();
        ShowTakenResults(host_->OpenListWindow(std::move(document)), false);
      });
}

void CSearchFlow::ShowTakenResults(CZelVelomarView* view, bool added) {
  auto& manager = Manager();
  CZelVelomarDoc& document = view->Document();
  const SearchCriteria& criteria = manager.GetCriteria();
  if (added) {
    // Calls added to what the list held: a custom list now, which no single search
    // could rebuild.
    document.SetListKind(CZelVelomarDoc::kCustomList, document.GetTitleText());
    document.SetBuiltBySearch(false);
  } else {
    document.SetListKind(CZelVelomarDoc::kFolderList, criteria.folders.size() == 1 ? criteria.folders.front() : "");
    document.SetBuiltBySearch(true);
  }
  manager.SetReplaceList(0);
  view->Redisplay();
  emit RunningChanged();
}
