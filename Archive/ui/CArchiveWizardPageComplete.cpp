#include "Archive/ui/CArchiveWizardPageComplete.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "Archive/ui/CArchiveJobCommentEditDlg.h"
#include "core/MessageSink.h"
#include "platform/Desktop.h"

namespace {

const char* const kLabels[] = {"Job Start Time:", "Job End Time:",     "Write Duration:", "Avg Write Time:",
                               "Job Duration:",   "Avg Job Duration:", "Call Modifications:"};

}  // namespace

CArchiveWizardPageComplete::CArchiveWizardPageComplete(std::shared_ptr<Shared> shared, QWidget* parent)
    : CArchiveWizardBase(std::move(shared), kComplete, parent) {
  setTitle(QStringLiteral("Archive Job Complete"));
  setSubTitle(QStringLiteral("The archive job has ended."));
  setFinalPage(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  for (const char* label : kLabels) {
    auto* value = new QLabel(this);
    value->setTextFormat(Qt::PlainText);  // file names among them
    value->setAccessibleDescription(QString::fromUtf8(label));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);  // the kept originals are named
    values_.emplace_back(QString::fromUtf8(label), value);
    form->addRow(QString::fromUtf8(label), value);
  }
  layout->addLayout(form);
  auto* row = new QHBoxLayout;
  folder_ = new QPushButton(QStringLiteral("&Open Archive Folder"), this);
  comment_ = new QPushButton(QStringLiteral("&Comment..."), this);
  row->addWidget(folder_);
  row->addWidget(comment_);
  row->addStretch(1);
  layout->addLayout(row);
  layout->addStretch(1);
  connect(folder_, &QPushButton::clicked, this, &CArchiveWizardPageComplete::OpenFolder);
  connect(comment_, &QPushButton::clicked, this, &CArchiveWizardPageComplete::EditComment);
}

CArchiveWizardPageComplete::~CArchiveWizardPageComplete() {
  if (shared_->JobState == 0) return;  // nothing was queued by this wizard
  Singleton<CArchiveLogger>::Instance()->Save();
  Singleton<CArchiveManager>::Instance()->ClearJobs();
}

void CArchiveWizardPageComplete::initializePage() {
  CArchiveWizardBase::initializePage();
  Singleton<CArchiveManager>::Instance()->GetJob(0, job_);
  int64_t span = job_.EndTime() - job_.StartTime();
  std::string write = CArchiveWizardState::WriteDurationText(span);
  std::string duration = CArchiveWizardState::DurationText(span);
  QString texts[] = {QString::fromStdString(CArchiveWizardState::ClockText(job_.StartTime())),
                     QString::fromStdString(CArchiveWizardState::ClockText(job_.EndTime())),
                     QString::fromStdString(write),
                     QString::fromStdString(write),
                     QString::fromStdString(duration),
                     QString::fromStdString(duration),
                     QString::fromStdString(CArchiveWizardState::ModificationText(
                         job_, Singleton<CArchiveManager>::Instance()->SourceOutcomes()))};
  for (size_t i = 0; i < values_.size(); ++i) values_[i].second->setText(texts[i]);
}

QString CArchiveWizardPageComplete::Value(const QString& label) const {
  for (const auto& [name, value] : values_) {
    if (name == label) return value->text();
  }
  return {};
}

void CArchiveWizardPageComplete::OpenFolder() {
  std::string folder = CArchiveWizardState::ArchiveFolder(shared_->State.ArchiveType(), shared_->State.ArchivePath());
  bool opened = folderOpener ? folderOpener(folder) : zel::OpenWithDesktop(folder);
  if (!opened) {
    zel::MessageSink()->ShowMessage("Failed to open Archive Folder: " + folder, "Zel Velomar",
                                    IMessageSink::Icon::Warning);
  }
}

void CArchiveWizardPageComplete::EditComment() {
  QString comment = QString::fromStdString(job_.Comment());
  if (!CArchiveJobCommentEditDlg::Edit(comment, this, commentEditor)) return;
  job_.SetComment(comment.toStdString());
  Singleton<CArchiveLogger>::Instance()->SetEntryComment(shared_->State.LogIndex(), job_.Comment());
}
