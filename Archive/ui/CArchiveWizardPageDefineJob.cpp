#include "Archive/ui/CArchiveWizardPageDefineJob.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "Archive/CArchiveManager.h"

CArchiveWizardPageDefineJob::CArchiveWizardPageDefineJob(std::shared_ptr<Shared> shared, QWidget* parent)
    : CArchiveWizardBase(std::move(shared), kDefineJob, parent) {
  setTitle(QStringLiteral("Define Job Settings..."));
  setSubTitle(QStringLiteral("Where and how the calls are archived."));
  auto* layout = new QVBoxLayout(this);

  auto* methods = new QGroupBox(QStringLiteral("Write Method"), this);
  auto* methodRow = new QHBoxLayout(methods);
  disk_ = new QRadioButton(QStringLiteral("&DISK"), methods);
  zip_ = new QRadioButton(QStringLiteral("&ZIP"), methods);
  iso_ = new QRadioButton(QStringLiteral("&ISO"), methods);
  auto* group = new QButtonGroup(this);
  group->addButton(disk_, zel::ToInt(zel::ArchiveType::kDisk));
  group->addButton(zip_, zel::ToInt(zel::ArchiveType::kZip));
  group->addButton(iso_, zel::ToInt(zel::ArchiveType::kIso));
  methodRow->addWidget(disk_);
  methodRow->addWidget(zip_);
  methodRow->addWidget(iso_);
  layout->addWidget(methods);

  auto* form = new QFormLayout;
  auto* pathRow = new QHBoxLayout;
  path_ = new QLineEdit(this);
  path_->setAccessibleName(QStringLiteral("Archive path"));
  browse_ = new QPushButton(QStringLiteral("&Browse..."), this);
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(browse_);
  auto* pathLabel = new QLabel(QStringLiteral("Archive &Path:"), this);
  pathLabel->setBuddy(path_);
  form->addRow(pathLabel, pathRow);

  media_ = new QComboBox(this);
  media_->setAccessibleName(QStringLiteral("Original Calls Modification"));
  media_->addItem(QString::fromUtf8(CArchiveWizardState::kPending), -1);
  for (const auto& row : zel::Texts(zel::MediaProcessing{})) {
    media_->addItem(QString::fromUtf8(row.Label), zel::ToInt(row.Value));
  }
  form->addRow(QStringLiteral("Original Calls &Modification:"), media_);
  structure_ = new QComboBox(this);
  structure_->setAccessibleName(QStringLiteral("Structure"));
  structure_->addItem(QString::fromUtf8(CArchiveWizardState::kPending), -1);
  for (const auto& row : zel::Texts(zel::StructureType{})) {
    structure_->addItem(QString::fromUtf8(row.Label), zel::ToInt(row.Value));
  }
  form->addRow(QStringLiteral("&Structure:"), structure_);
  layout->addLayout(form);
  layout->addStretch(1);

  connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (!checked) return;  // toggled, so the keyboard and screen readers choose too
    shared_->State.SetArchiveType(static_cast<zel::ArchiveType>(id));
    RefreshStatus();
  });
  connect(path_, &QLineEdit::textChanged, this, [this](const QString& text) {
    shared_->State.SetArchivePath(text.trimmed().toStdString());
    RefreshStatus();
  });
  connect(media_, &QComboBox::currentIndexChanged, this, [this](int) {
    shared_->State.SetMediaProcessing(media_->currentData().toInt());
    RefreshStatus();
  });
  connect(structure_, &QComboBox::currentIndexChanged, this, [this](int) {
    shared_->State.SetStructureType(structure_->currentData().toInt());
    RefreshStatus();
  });
  connect(browse_, &QPushButton::clicked, this, &CArchiveWizardPageDefineJob::Browse);
}

QRadioButton* CArchiveWizardPageDefineJob::MethodButton(zel::ArchiveType type) const {
  switch (type) {
    case zel::ArchiveType::kDisk: return disk_;
    case zel::ArchiveType::kZip: return zip_;
    case zel::ArchiveType::kIso: return iso_;
    default: return nullptr;
  }
}

QString CArchiveWizardPageDefineJob::PickPath() {
  zel::ArchiveType type = shared_->State.ArchiveType();
  QString start = path_->text();
  if (type == zel::ArchiveType::kZip || type == zel::ArchiveType::kIso) {
    bool zip = type == zel::ArchiveType::kZip;
    QFileDialog dialog(this, QString(), start.isEmpty() ? QString() : QFileInfo(start).absolutePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(zip ? QStringLiteral("zip") : QStringLiteral("iso"));
    dialog.setNameFilter(zip ? QStringLiteral("ZEL ZIP Archive (*.zip)") : QStringLiteral("ZEL ISO Archive (*.iso)"));
    dialog.selectFile(zip ? QStringLiteral("Archive.zip") : QStringLiteral("Archive.iso"));
    dialog.setOption(QFileDialog::ReadOnly, false);  // the overwrite question stays on
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }
  return QFileDialog::getExistingDirectory(this, QStringLiteral("Please select the directory to Archivation."),
                                           start);
}

void CArchiveWizardPageDefineJob::Browse() {
  QString path = pathPicker ? pathPicker() : PickPath();
  if (!path.isEmpty()) path_->setText(path);
}

bool CArchiveWizardPageDefineJob::validatePage() {
  std::string problem = shared_->State.JobProblem();
  if (problem.empty()) {
    auto manager = Singleton<CArchiveManager>::Instance();
    if (!manager->IsRunning() && manager->JobCount() == 0) return true;
    // Starting now would stop the other run.
    Complain("Another archive job is running. Start this one when it has ended.");
    return false;
  }
  Complain(problem);
  if (shared_->State.ArchivePath().empty()) {
    path_->setFocus();
    path_->selectAll();
  }
  return false;
}
