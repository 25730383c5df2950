#include "Archive/ui/CArchiveJobSettings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QPointer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <utility>

#include "Archive/CSystemdTimer.h"
#include "core/MessageSink.h"
#include "toolkit/ui/CAsyncTask.h"

CArchiveJobSettings::CArchiveJobSettings(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  enabled_ = new QCheckBox(this);
  layout->addWidget(enabled_);

  auto* spaceBox = new QGroupBox(QStringLiteral("Archive Space"), this);
  auto* spaceRow = new QHBoxLayout(spaceBox);
  space_ = new QListWidget(spaceBox);
  space_->setAccessibleName(QStringLiteral("Archive Space"));
  space_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* spaceButtons = new QVBoxLayout;
  add_ = new QPushButton(QStringLiteral("&Add..."), spaceBox);
  remove_ = new QPushButton(QStringLiteral("&Remove"), spaceBox);
  spaceButtons->addWidget(add_);
  spaceButtons->addWidget(remove_);
  spaceButtons->addStretch(1);
  spaceRow->addWidget(space_, 1);
  spaceRow->addLayout(spaceButtons);
  layout->addWidget(spaceBox);

  auto* selectionRow = new QHBoxLayout;
  all_ = new QRadioButton(QStringLiteral("A&ll Calls"), this);
  unarchived_ = new QRadioButton(QStringLiteral("Only &Un-archived"), this);
  auto* selection = new QButtonGroup(this);
  selection->addButton(all_, 0);
  selection->addButton(unarchived_, 1);
  selectionRow->addWidget(all_);
  selectionRow->addWidget(unarchived_);
  selectionRow->addStretch(1);
  layout->addLayout(selectionRow);

  auto* scheduleRow = new QHBoxLayout;
  auto* everyLabel = new QLabel(QStringLiteral("Schedule &Every:"), this);
  days_ = new QSpinBox(this);
  days_->setRange(1, 365);
  days_->setAccessibleName(QStringLiteral("Schedule Every"));
  everyLabel->setBuddy(days_);
  auto* atLabel = new QLabel(QStringLiteral("Days,    at this &time:"), this);
  time_ = new QDateTimeEdit(this);
  time_->setCalendarPopup(true);
  time_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  time_->setAccessibleName(QStringLiteral("at this time"));
  atLabel->setBuddy(time_);
  scheduleRow->addWidget(everyLabel);
  scheduleRow->addWidget(days_);
  scheduleRow->addWidget(atLabel);
  scheduleRow->addWidget(time_);
  scheduleRow->addStretch(1);
  layout->addLayout(scheduleRow);

  auto* form = new QFormLayout;
  media_ = new QComboBox(this);
  media_->setAccessibleName(QStringLiteral("Original Calls Modification"));
  for (const auto& row : zel::Texts(zel::MediaProcessing{})) {
    media_->addItem(QString::fromUtf8(row.Label), zel::ToInt(row.Value));
  }
  form->addRow(QStringLiteral("&Modification:"), media_);
  structure_ = new QComboBox(this);
  structure_->setAccessibleName(QStringLiteral("Structure"));
  for (const auto& row : zel::Texts(zel::StructureType{})) {
    structure_->addItem(QString::fromUtf8(row.Label), zel::ToInt(row.Value));
  }
  form->addRow(QStringLiteral("Str&ucture:"), structure_);
  auto* methodRow = new QHBoxLayout;
  iso_ = new QRadioButton(QStringLiteral("&ISO"), this);
  disk_ = new QRadioButton(QStringLiteral("&DISK"), this);
  zip_ = new QRadioButton(QStringLiteral("&ZIP"), this);
  auto* method = new QButtonGroup(this);
  method->addButton(iso_, 3);
  method->addButton(disk_, 1);
  method->addButton(zip_, 2);
  methodRow->addWidget(iso_);
  methodRow->addWidget(disk_);
  methodRow->addWidget(zip_);
  methodRow->addStretch(1);
  form->addRow(QStringLiteral("Write Method:"), methodRow);
  auto* pathRow = new QHBoxLayout;
  path_ = new QLineEdit(this);
  path_->setAccessibleName(QStringLiteral("Path"));
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setToolTip(QStringLiteral("Browse for the archive folder"));
  browse_->setAccessibleName(browse_->toolTip());
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(browse_);
  auto* pathLabel = new QLabel(QStringLiteral("&Path:"), this);
  pathLabel->setBuddy(path_);
  form->addRow(pathLabel, pathRow);
  name_ = new QLineEdit(this);
  name_->setAccessibleName(QStringLiteral("Save As"));
  form->addRow(QStringLiteral("Save &As:"), name_);
  layout->addLayout(form);

  auto* thresholdRow = new QHBoxLayout;
  threshold_ = new QCheckBox(QStringLiteral("Abort archive job if image file e&xceeds"), this);
  size_ = new QSpinBox(this);
  size_->setRange(1, 99999);
  size_->setValue(700);
  size_->setAccessibleName(QStringLiteral("Size limit"));
  sizeUnit_ = new QLabel(QStringLiteral("MB"), this);
  thresholdRow->addWidget(threshold_);
  thresholdRow->addWidget(size_);
  thresholdRow->addWidget(sizeUnit_);
  thresholdRow->addStretch(1);
  layout->addLayout(thresholdRow);
  closedRun_ = new QCheckBox(QStringLiteral("Run even &when Zel Velomar is closed"), this);
  closedRun_->setToolTip(QStringLiteral("A systemd user timer runs the scheduled job while the program is not open"));
  layout->addWidget(closedRun_);
  layout->addStretch(1);

  dependents_ = {spaceBox, all_, unarchived_, everyLabel, days_, atLabel, time_, media_, structure_,
                 iso_,     disk_, zip_,       path_,      browse_, name_, threshold_, size_, sizeUnit_, closedRun_};

  auto edited = [this] {
    if (!loading_) emit changed();
  };
  connect(enabled_, &QCheckBox::toggled, this, [this, edited](bool on) {
    settings_.Enabled = on;
    UpdateEnabled();
    edited();
  });
  connect(closedRun_, &QCheckBox::toggled, this, edited);
  connect(add_, &QPushButton::clicked, this, [this, edited] {
    QString folder = PickFolder(QStringLiteral(
        "Please select the directory to add into Archive Space.\n The all calls from this directory and "
        "sub-directories will be archived."));
    if (folder.isEmpty()) return;
    std::string path = folder.toStdString();
    for (const auto& known : settings_.SpaceFolders) {
      if (known == path) return;
    }
    settings_.SpaceFolders.push_back(path);
    space_->addItem(folder);
    edited();
  });
  connect(remove_, &QPushButton::clicked, this, [this, edited] {
    for (QListWidgetItem* item : space_->selectedItems()) {
      std::erase(settings_.SpaceFolders, item->text().toStdString());
      delete item;
    }
    edited();
  });
  connect(selection, &QButtonGroup::idToggled, this, [this, edited](int id, bool checked) {
    if (!checked) return;  // toggled, so the keyboard and screen readers choose too
    settings_.SelectionType = static_cast<zel::SelectionType>(id);
    edited();
  });
  connect(days_, &QSpinBox::valueChanged, this, [this, edited](int value) {
    settings_.DaysInterval = value;
    edited();
  });
  connect(time_, &QDateTimeEdit::dateTimeChanged, this, [this, edited](const QDateTime& when) {
    if (loading_) return;
    settings_.ScheduledTime = when.toSecsSinceEpoch();
    timeEdited_ = true;
    edited();
  });
  connect(media_, &QComboBox::currentIndexChanged, this, [this, edited](int) {
    settings_.MediaProcessing = static_cast<zel::MediaProcessing>(media_->currentData().toInt());
    edited();
  });
  connect(structure_, &QComboBox::currentIndexChanged, this, [this, edited](int) {
    settings_.ArchStructureType = static_cast<zel::StructureType>(structure_->currentData().toInt());
    edited();
  });
  connect(method, &QButtonGroup::idToggled, this, [this, edited](int id, bool checked) {
    if (!checked) return;  // toggled, so the keyboard and screen readers choose too
    settings_.ArchiveType = static_cast<zel::ArchiveType>(id);
    edited();
  });
  connect(browse_, &QPushButton::clicked, this, [this] {
    QString folder = PickFolder(QStringLiteral("Please select the directory to store schedule archive."));
    if (!folder.isEmpty()) path_->setText(folder);
  });
  connect(path_, &QLineEdit::textChanged, this, [this, edited](const QString& text) {
    std::string path = text.trimmed().toStdString();
    if (!path.empty() && path.back() != '/') path += '/';
    settings_.ArchivePath = path;
    edited();
  });
  connect(name_, &QLineEdit::textChanged, this, [this, edited](const QString& text) {
    settings_.ArchiveName = text.toStdString();
    edited();
  });
  connect(threshold_, &QCheckBox::toggled, this, [this, edited](bool on) {
    settings_.ThresholdSize = on ? size_->value() : 0;
    settings_.CancelJob = on;
    size_->setVisible(on);
    sizeUnit_->setVisible(on);
    edited();
  });
  connect(size_, &QSpinBox::valueChanged, this, [this, edited](int value) {
    if (threshold_->isChecked()) settings_.ThresholdSize = value;
    edited();
  });
  Load();
}

QRadioButton* CArchiveJobSettings::MethodButton(zel::ArchiveType type) const {
  switch (type) {
    case zel::ArchiveType::kDisk: return disk_;
    case zel::ArchiveType::kZip: return zip_;
    case zel::ArchiveType::kIso: return iso_;
    default: return nullptr;
  }
}

void CArchiveJobSettings::Load() {
  loading_ = true;
  settings_ = Singleton<CJobArchScheduler>::Instance()->GetSettings();
  CJobArchScheduler::Settings s = settings_;  // the signals below write into settings_
  enabled_->setChecked(s.Enabled);
  space_->clear();
  for (const auto& folder : s.SpaceFolders) space_->addItem(QString::fromStdString(folder));
  (s.SelectionType == zel::SelectionType::kUnarchived ? unarchived_ : all_)->setChecked(true);
  days_->setValue(std::clamp(s.DaysInterval, 1, 365));
  time_->setDateTime(s.ScheduledTime != 0 ? QDateTime::fromSecsSinceEpoch(s.ScheduledTime)
                                          : QDateTime(QDate::currentDate(), QTime(0, 0)));
  media_->setCurrentIndex(std::max(0, media_->findData(zel::ToInt(s.MediaProcessing))));
  structure_->setCurrentIndex(std::max(0, structure_->findData(zel::ToInt(s.ArchStructureType))));
  if (QRadioButton* button = MethodButton(s.ArchiveType)) button->setChecked(true);
  path_->setText(QString::fromStdString(s.ArchivePath));
  name_->setText(QString::fromStdString(s.ArchiveName));
  bool limited = s.CancelJob;
  if (limited && s.ThresholdSize > 0) size_->setValue(std::clamp(s.ThresholdSize, 1, 99999));
  threshold_->setChecked(limited);
  size_->setVisible(limited);
  sizeUnit_->setVisible(limited);
  closedRun_->setChecked(CSystemdTimer::Installed());
  settings_ = s;  // what the file holds, untouched by the loading
  loading_ = false;
  UpdateEnabled();
}

void CArchiveJobSettings::UpdateEnabled() {
  bool on = enabled_->isChecked();
  enabled_->setText(on ? QStringLiteral("&Scheduled Call Archiving Enabled")
                       : QStringLiteral("&Scheduled Call Archiving Disabled"));
  for (QWidget* widget : dependents_) widget->setEnabled(on);
}

QString CArchiveJobSettings::PickFolder(const QString& title) {
  if (folderPicker) return folderPicker(title);
  return QFileDialog::getExistingDirectory(this, title, path_->text());
}

bool CArchiveJobSettings::Apply() {
  // An enabled schedule that cannot archive anything would only fail at its first run.
  std::string problem = CJobArchScheduler::Settings::ArchiveNameProblem(settings_.ArchiveName);
  if (problem.empty()) problem = settings_.EnabledProblem();
  if (!problem.empty()) {
    zel::MessageSink()->ShowMessage(problem, "Zel Velomar", IMessageSink::Icon::Warning);
    return false;
  }
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  // A date typed into the picker and not yet confirmed counts as chosen.
  if (time_->hasFocus()) time_->interpretText();
  // Runs since the page was opened may have moved the due time or named the
  // job; only what the page edits is taken from it.
  CJobArchScheduler::Settings now = scheduler->GetSettings();
  now.SpaceFolders = settings_.SpaceFolders;
  now.Enabled = settings_.Enabled;
  now.SelectionType = settings_.SelectionType;
  now.ArchiveType = settings_.ArchiveType;
  now.ArchivePath = settings_.ArchivePath;
  now.ArchiveName = settings_.ArchiveName;
  now.MediaProcessing = settings_.MediaProcessing;
  now.ArchStructureType = settings_.ArchStructureType;
  now.ThresholdSize = settings_.ThresholdSize;
  now.CancelJob = settings_.CancelJob;
  now.DaysInterval = settings_.DaysInterval;
  if (timeEdited_) now.ScheduledTime = settings_.ScheduledTime;
  scheduler->SetSettings(now);
  bool saved = scheduler->Save();
  now.LastJobTime = 0;  // the next run is timed from the schedule alone
  scheduler->SetSettings(now);
  settings_ = now;
  timeEdited_ = false;
  if (!saved) {
    zel::MessageSink()->ShowMessage("The schedule could not be saved to " + scheduler->SchedulePath() + ".",
                                    "Zel Velomar", IMessageSink::Icon::Warning);
  } else {
    ApplyClosedRun(closedRun_->isChecked(), now.ScheduledTime);
  }
  return saved;
}

namespace {
int closedRunsPending = 0;  // GUI thread only
}  // namespace

bool CArchiveJobSettings::ClosedRunPending() { return closedRunsPending > 0; }

void CArchiveJobSettings::ApplyClosedRun(bool wanted, int64_t when) {
  if (!wanted && !CSystemdTimer::Installed()) return;
  const std::string zelctl = QCoreApplication::applicationDirPath().toStdString() + "/zelctl";
  QPointer<CArchiveJobSettings> self(this);
  // systemctl may take seconds. The warning is shown even when the sheet has closed
  // meanwhile, so the application receives the outcome rather than the sheet.
  ++closedRunsPending;
  CAsyncTask::Run(
      qApp,
      [wanted, when, zelctl] {
        std::string message;
        const CSystemdTimer::Outcome outcome =
            wanted ? CSystemdTimer::Install(zelctl, when, message) : CSystemdTimer::Uninstall(message);
        if (outcome != CSystemdTimer::Outcome::kDone && wanted) {
          // No systemd to take the timer (a machine without a user session): units
          // nobody starts would only make the box look ticked and the next Apply
          // fail again. Said once; the box is left unticked.
          CSystemdTimer::Remove(CSystemdTimer::UserUnitFolder());
          message = "The scheduled job cannot run while Zel Velomar is closed: " +
                    (outcome == CSystemdTimer::Outcome::kNotEnabled
                         ? std::string("this computer has no systemd user session to start it.")
                         : message + ".") +
                    " The job runs at its time while Zel Velomar is open.";
        }
        return std::make_pair(outcome, message);
      },
      [self, wanted](const std::pair<CSystemdTimer::Outcome, std::string>& result) {
        --closedRunsPending;
        if (result.first == CSystemdTimer::Outcome::kDone) return;
        if (wanted && self) {
          self->loading_ = true;  // the box now shows what is so: nothing to apply
          self->closedRun_->setChecked(false);
          self->loading_ = false;
        }
        zel::MessageSink()->ShowMessage(result.second, "Zel Velomar", IMessageSink::Icon::Warning);
      });
}
