#include "Archive/ui/CArchiveWizardPageProgress.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizard>
#include <ctime>

#include "Archive/CArchiveJobBuilder.h"
#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "Archive/ui/CArchiveWizardStatusDlg.h"
#include "organiser/CZelVelomarDoc.h"

CArchiveWizardPageProgress::CArchiveWizardPageProgress(std::shared_ptr<Shared> shared, QWidget* parent)
    : CArchiveWizardBase(std::move(shared), kProgress, parent) {
  setTitle(QStringLiteral("Archiving Calls..."));
  setSubTitle(QStringLiteral("The calls are written into the archive."));
  setCommitPage(true);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(QStringLiteral("Archiving Calls..."), this);
  text_->setWordWrap(true);
  text_->setTextFormat(Qt::PlainText);  // the problems name files
  bar_ = new QProgressBar(this);
  bar_->setAccessibleName(QStringLiteral("Archive progress"));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addStretch(1);
  poll_ = new QTimer(this);
  poll_->setInterval(250);
  connect(poll_, &QTimer::timeout, this, &CArchiveWizardPageProgress::Poll);
}

CArchiveWizardPageProgress::~CArchiveWizardPageProgress() {
  if (sinkActive_.exchange(false)) {
    // The page goes while its run is still on (the application closes): the run
    // must not report to a page that is gone.
    auto manager = Singleton<CArchiveManager>::Instance();
    manager->SetSink(nullptr);
    manager->Cancel();
  }
}

void CArchiveWizardPageProgress::initializePage() {
  CArchiveWizardBase::initializePage();
  if (shared_->JobState == 0) StartJob();
}

void CArchiveWizardPageProgress::cleanupPage() {
  poll_->stop();
  Singleton<CArchiveManager>::Instance()->ClearJobs();
  shared_->JobState = 0;
  shared_->Finished = false;
  shared_->State.SetLogIndex(-1);
  bar_->setValue(0);
  text_->setText(QStringLiteral("Archiving Calls..."));
  // Back does not initialise the page it returns to: the panel is told here.
  if (shared_->Status) shared_->Status->SetCurrent(kDefineJob);
  CArchiveWizardBase::cleanupPage();
}

bool CArchiveWizardPageProgress::CancelRun() {
  if (shared_->JobState != 2 || shared_->Finished) return false;
  cancelled_.store(true);
  // Waits for the worker: a ZIP's working copy is gone and nothing was logged
  // when it returns.
  Singleton<CArchiveManager>::Instance()->Cancel();
  return true;
}

bool CArchiveWizardPageProgress::isComplete() const { return shared_->Finished; }

int CArchiveWizardPageProgress::nextId() const {
  // Without a modification of the source recordings there is nothing to confirm.
  return shared_->State.SkipsModification() ? kComplete : kDeleteConfirm;
}

void CArchiveWizardPageProgress::LockButtons(bool locked) {
  if (QWizard* w = wizard()) {
    // Cancel stays: it stops the run.
    for (auto which : {QWizard::BackButton, QWizard::NextButton, QWizard::CommitButton, QWizard::FinishButton}) {
      if (QAbstractButton* button = w->button(which)) button->setEnabled(!locked);
    }
  }
}

void CArchiveWizardPageProgress::StartJob() {
  auto calls = shared_->Calls(shared_->State.CallsChoice());
  CJobArchListEntry job =
      shared_->State.BuildJob(calls, CArchiveJobBuilder::CurrentUser(), static_cast<int64_t>(std::time(nullptr)));
  auto manager = Singleton<CArchiveManager>::Instance();
  cancelled_.store(false);
  sinkActive_.store(true);
  manager->AddJob(job, this);
  shared_->JobState = 1;
  bar_->setRange(0, 100);
  std::string prefix;
  if (shared_->State.ArchiveType() == zel::ArchiveType::kIso && shared_->List.document) {
    // The list window's folder: the archive holds the calls' folders below it.
    // Where a call's folder does not begin with it, the folder is kept whole.
    const CZelVelomarDoc& doc = *shared_->List.document;
    if (doc.GetListKind() == CZelVelomarDoc::kFolderList) prefix = doc.GetTitleText();
  }
  manager->SetPathPrefix(prefix);
  manager->Start(false);
  shared_->JobState = 2;
  // QWizard sets its buttons after this page was initialised.
  QTimer::singleShot(0, this, [this] {
    if (!shared_->Finished) LockButtons(true);
  });
  poll_->start();
}

void CArchiveWizardPageProgress::Poll() {
  if (shared_->Finished) return;
  int percent = static_cast<int>(Singleton<CArchiveManager>::Instance()->GetRunStats().Progress);
  if (percent > bar_->value() && percent <= 100) bar_->setValue(percent);
}

void CArchiveWizardPageProgress::OnProgress(int percent) {
  QMetaObject::invokeMethod(
      this, [this, percent] { if (!shared_->Finished && percent > bar_->value()) bar_->setValue(percent); },
      Qt::QueuedConnection);
}

void CArchiveWizardPageProgress::OnStarted() {
  QMetaObject::invokeMethod(this, [this] { LockButtons(true); }, Qt::QueuedConnection);
}

void CArchiveWizardPageProgress::OnFinished(CJobArchListEntry* job) {
  auto manager = Singleton<CArchiveManager>::Instance();
  manager->SetSink(nullptr);
  sinkActive_.store(false);
  int index = -1;
  ArchiveRunStats stats = manager->GetRunStats();
  if (job != nullptr && stats.ArchivedCount > 0 && !cancelled_.load()) {
    // The log lists what reached the archive, so that later runs of "Only
    // Un-archived" calls and the list's archive column see exactly those.
    CJobArchListEntry entry = *job;
    entry.ClearSources();
    for (const auto& recording : manager->ArchivedRecordings()) entry.AddSource(recording);
    auto log = Singleton<CArchiveLogger>::Instance();
    index = log->AddEntry(entry);
    CJobArchListEntry added;
    log->GetEntry(index, added);
    // Saved now, not when the wizard closes: a crash before then must not leave
    // changed originals without the record of where their copies are.
    log->Save();
    // Saving takes in what other processes logged meanwhile: the entry may have moved.
    if (int moved = log->IndexOfId(added.JobTime()); moved >= 0) index = moved;
  }
  QMetaObject::invokeMethod(this, [this, index] { Finish(index); }, Qt::QueuedConnection);
}

void CArchiveWizardPageProgress::Finish(int logIndex) {
  poll_->stop();
  shared_->State.SetLogIndex(logIndex);
  shared_->Finished = true;
  bar_->setValue(100);
  auto manager = Singleton<CArchiveManager>::Instance();
  ArchiveRunStats stats = manager->GetRunStats();
  QString text = QStringLiteral("%1 (from %2) calls archived.").arg(stats.ArchivedCount).arg(stats.SelectedCount);
  if (stats.ArchivedCount == 0) {
    // The page says why and what to do, not only the box that came and went.
    auto problems = manager->RunProblems();
    if (!problems.empty()) text += QStringLiteral("\n") + QString::fromStdString(problems.back());
    text += QStringLiteral("\nNo original was touched. Back leads to the job's settings to change them.");
  }
  text_->setText(text);
  LockButtons(false);
  emit completeChanged();
  // A run that archived something cannot be undone; one that archived nothing
  // (an unwritable path) may be mended on the job's page.
  if (QWizard* w = wizard()) {
    if (QAbstractButton* back = w->button(QWizard::BackButton)) back->setEnabled(stats.ArchivedCount == 0);
  }
  emit runFinished();
}
