#include "Archive/ui/CRetentionSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "core/MessageSink.h"
#include "core/Singleton.h"

namespace {
constexpr int kMaxNumber = 1000000000;  // what CRetention accepts

QString Calls(int n) { return n == 1 ? QStringLiteral("1 call") : QStringLiteral("%1 calls").arg(n); }
}  // namespace

CRetentionSettings::CRetentionSettings(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  enabled_ = new QCheckBox(QStringLiteral("&Remove calls by this rule after each scheduled archive job"), this);
  layout->addWidget(enabled_);

  auto* form = new QFormLayout;
  days_ = new QSpinBox(this);
  days_->setRange(0, kMaxNumber);
  days_->setSuffix(QStringLiteral(" days"));
  days_->setSpecialValueText(QStringLiteral("no age rule"));
  days_->setAccessibleName(QStringLiteral("Older than days"));
  days_->setAccessibleDescription(QStringLiteral("Counted from the date of the call; 0: no age rule"));
  form->addRow(QStringLiteral("Calls &older than:"), days_);
  seconds_ = new QSpinBox(this);
  seconds_->setRange(0, kMaxNumber);
  seconds_->setSuffix(QStringLiteral(" seconds"));
  seconds_->setSpecialValueText(QStringLiteral("no length rule"));
  seconds_->setAccessibleName(QStringLiteral("Shorter than seconds"));
  seconds_->setAccessibleDescription(QStringLiteral("Empty and aborted calls; 0: no length rule"));
  form->addRow(QStringLiteral("Calls &shorter than:"), seconds_);
  action_ = new QComboBox(this);
  action_->setAccessibleName(QStringLiteral("Action"));
  action_->addItem(QStringLiteral("Archive them with the scheduled job's settings, then delete"),
                   static_cast<int>(CRetention::Action::kArchive));
  action_->addItem(QStringLiteral("Move them to the trash"), static_cast<int>(CRetention::Action::kTrash));
  action_->addItem(QStringLiteral("Delete them permanently"), static_cast<int>(CRetention::Action::kDelete));
  form->addRow(QStringLiteral("&Action:"), action_);
  layout->addLayout(form);

  auto* folderBox = new QGroupBox(QStringLiteral("Source Folders"), this);
  auto* folderRow = new QHBoxLayout(folderBox);
  folders_ = new QListWidget(folderBox);
  folders_->setAccessibleName(QStringLiteral("Source Folders"));
  folders_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // A rule has few folders; the room goes to the preview's list below.
  folders_->setMaximumHeight(folders_->fontMetrics().height() * 5 + 2 * folders_->frameWidth());
  auto* folderButtons = new QVBoxLayout;
  add_ = new QPushButton(QStringLiteral("A&dd..."), folderBox);
  add_->setAccessibleName(QStringLiteral("Add Folder"));
  remove_ = new QPushButton(QStringLiteral("Re&move"), folderBox);
  remove_->setAccessibleName(QStringLiteral("Remove Folder"));
  folderButtons->addWidget(add_);
  folderButtons->addWidget(remove_);
  folderButtons->addStretch(1);
  folderRow->addWidget(folders_, 1);
  folderRow->addLayout(folderButtons);
  layout->addWidget(folderBox);

  auto* kept = new QLabel(
      QStringLiteral("Calls marked Important, calls in Calls for Review and calls on legal hold are always kept."),
      this);
  kept->setWordWrap(true);
  layout->addWidget(kept);

  auto* runRow = new QHBoxLayout;
  preview_ = new QPushButton(QStringLiteral("&Preview..."), this);
  preview_->setAccessibleName(QStringLiteral("Preview"));
  preview_->setAccessibleDescription(QStringLiteral("Lists what a run would remove and why; touches nothing"));
  run_ = new QPushButton(QStringLiteral("Run &Now..."), this);
  run_->setAccessibleName(QStringLiteral("Run Now"));
  runRow->addWidget(preview_);
  runRow->addWidget(run_);
  runRow->addStretch(1);
  layout->addLayout(runRow);
  outcome_ = new QTreeWidget(this);
  outcome_->setAccessibleName(QStringLiteral("Calls the rule selects"));
  outcome_->setRootIsDecorated(false);
  outcome_->setTextElideMode(Qt::ElideMiddle);  // the file name is the part that tells
  outcome_->setHeaderLabels({QStringLiteral("Call"), QStringLiteral("Outcome"), QStringLiteral("Why")});
  outcome_->header()->setStretchLastSection(true);
  outcome_->setColumnWidth(0, 300);
  layout->addWidget(outcome_, 1);
  summary_ = new QLabel(this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  auto edited = [this] {
    if (loading_) return;
    edited_ = true;
    emit changed();
  };
  connect(enabled_, &QCheckBox::toggled, this, [this, edited](bool on) {
    settings_.Enabled = on;
    edited();
  });
  connect(days_, &QSpinBox::valueChanged, this, [this, edited](int value) {
    settings_.OlderThanDays = value;
    edited();
  });
  connect(seconds_, &QSpinBox::valueChanged, this, [this, edited](int value) {
    settings_.ShorterThanSeconds = value;
    edited();
  });
  connect(action_, &QComboBox::currentIndexChanged, this, [this, edited](int) {
    settings_.How = static_cast<CRetention::Action>(action_->currentData().toInt());
    edited();
  });
  connect(add_, &QPushButton::clicked, this, [this, edited] {
    const QString title = QStringLiteral("Select a folder whose calls (and those of its sub-folders) the rule removes.");
    QString folder = folderPicker ? folderPicker(title) : QFileDialog::getExistingDirectory(this, title);
    if (folder.isEmpty()) return;
    std::string path = folder.toStdString();
    if (std::find(settings_.Folders.begin(), settings_.Folders.end(), path) != settings_.Folders.end()) return;
    settings_.Folders.push_back(path);
    folders_->addItem(folder);
    edited();
  });
  connect(remove_, &QPushButton::clicked, this, [this, edited] {
    for (QListWidgetItem* item : folders_->selectedItems()) {
      std::erase(settings_.Folders, item->text().toStdString());
      delete item;
    }
    edited();
  });
  connect(preview_, &QPushButton::clicked, this, &CRetentionSettings::Preview);
  connect(run_, &QPushButton::clicked, this, &CRetentionSettings::RunNow);
  Load();
}

CRetentionSettings::~CRetentionSettings() { task_.Cancel(); }

void CRetentionSettings::Load() {
  loading_ = true;
  auto retention = Singleton<CRetention>::Instance();
  retention->Load();  // a missing file keeps the defaults: off
  const CRetention::Settings s = retention->GetSettings();
  enabled_->setChecked(s.Enabled);
  days_->setValue(std::clamp(s.OlderThanDays, 0, kMaxNumber));
  seconds_->setValue(std::clamp(s.ShorterThanSeconds, 0, kMaxNumber));
  action_->setCurrentIndex(std::max(0, action_->findData(static_cast<int>(s.How))));
  folders_->clear();
  for (const auto& folder : s.Folders) folders_->addItem(QString::fromStdString(folder));
  settings_ = s;
  loading_ = false;
}

bool CRetentionSettings::Apply() {
  if (!edited_) return true;
  auto retention = Singleton<CRetention>::Instance();
  retention->SetSettings(settings_);
  if (retention->Save()) {
    edited_ = false;
    return true;
  }
  zel::MessageSink()->ShowMessage("The retention rule could not be saved to " + retention->Path() + ".",
                                  "Zel Velomar", IMessageSink::Icon::Warning);
  return false;
}

void CRetentionSettings::SetBusy(bool busy) {
  preview_->setEnabled(!busy);
  run_->setEnabled(!busy);
}

void CRetentionSettings::Preview() {
  if (task_.IsRunning()) return;
  SetBusy(true);
  summary_->setText(QStringLiteral("Looking for the calls the rule selects..."));
  // A rule of its own: the page's values are previewed before they are saved.
  task_ = CAsyncTask::Run(
      this,
      [settings = settings_, path = Singleton<CRetention>::Instance()->Path()] {
        CRetention rule(path);
        rule.SetSettings(settings);
        return rule.Preview(static_cast<int64_t>(std::time(nullptr)));
      },
      [this](const CRetention::Result& result) { Show(result, false); });
}

void CRetentionSettings::RunNow() {
  if (task_.IsRunning()) return;
  if (zel::MessageSink()->AskYesNo(
          "Remove now the calls the retention rule selects? Calls marked Important, calls in Calls for Review "
          "and calls on legal hold are kept.",
          "Zel Velomar") != IMessageSink::Answer::Yes) {
    return;
  }
  if (!Apply()) return;
  SetBusy(true);
  summary_->setText(QStringLiteral("Removing the calls the rule selects..."));
  // The archive action waits for an archive job: never on this thread.
  task_ = CAsyncTask::Run(
      this, [] { return Singleton<CRetention>::Instance()->Run(static_cast<int64_t>(std::time(nullptr))); },
      [this](const CRetention::Result& result) {
        Show(result, true);
        if (result.Failed > 0 || !result.Problem.empty()) {
          zel::MessageSink()->ShowMessage(summary_->text().toStdString(), "Zel Velomar",
                                          IMessageSink::Icon::Warning);
        }
      });
}

void CRetentionSettings::Show(const CRetention::Result& result, bool run) {
  SetBusy(false);
  outcome_->clear();
  int going = 0;
  int kept = 0;
  for (const auto& item : result.Items) {
    QString state;
    QString why = QString::fromStdString(item.Why);
    if (!item.KeptBecause.empty()) {
      state = QStringLiteral("keep");
      why += QStringLiteral("; kept: ") + QString::fromStdString(item.KeptBecause);
      ++kept;
    } else if (!item.Problem.empty()) {
      state = QStringLiteral("failed");
      why += QStringLiteral("; ") + QString::fromStdString(item.Problem);
    } else {
      state = run ? (item.Removed ? QStringLiteral("removed") : QStringLiteral("keep")) : QStringLiteral("remove");
      ++going;
    }
    new QTreeWidgetItem(outcome_, {QString::fromStdString(item.Path), state, why});
  }
  QString text = run ? QStringLiteral("%1 removed, %2 could not be removed, %3 kept.")
                           .arg(Calls(result.Removed), Calls(result.Failed), Calls(kept))
                     : QStringLiteral("A run would remove %1 and keep %2.").arg(Calls(going), Calls(kept));
  if (!result.Problem.empty()) text += QStringLiteral(" ") + QString::fromStdString(result.Problem);
  summary_->setText(text);
}
