#include "Archive/ui/CArchiveSettingsSheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "Archive/ui/CArchiveJobSettings.h"
#include "Archive/ui/CArchiveJobsCallsLog.h"
#include "Archive/ui/CRetentionSettings.h"

CArchiveSettingsSheet::CArchiveSettingsSheet(Page active, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Diza Didurido Settings and Logs"));
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  settings_ = new CArchiveJobSettings(tabs_);
  log_ = new CArchiveJobsCallsLog(tabs_);
  retention_ = new CRetentionSettings(tabs_);
  tabs_->addTab(settings_, QStringLiteral("Scheduled Job Settings"));
  tabs_->addTab(log_, QStringLiteral("Calls Log"));
  tabs_->addTab(retention_, QStringLiteral("Retention"));
  tabs_->setCurrentIndex(active);
  layout->addWidget(tabs_);
  auto* buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  layout->addWidget(buttons);
  apply_ = buttons->button(QDialogButtonBox::Apply);
  apply_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &CArchiveSettingsSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CArchiveSettingsSheet::reject);
  connect(apply_, &QPushButton::clicked, this, &CArchiveSettingsSheet::Apply);
  connect(settings_, &CArchiveJobSettings::changed, this, [this] { apply_->setEnabled(true); });
  connect(log_, &CArchiveJobsCallsLog::changed, this, [this] { apply_->setEnabled(true); });
  connect(retention_, &CRetentionSettings::changed, this, [this] { apply_->setEnabled(true); });
  resize(640, 560);
}

bool CArchiveSettingsSheet::Apply() {
  bool scheduleSaved = settings_->Apply();
  bool logSaved = log_->Apply();
  bool retentionSaved = retention_->Apply();
  emit scheduleApplied();
  bool saved = scheduleSaved && logSaved && retentionSaved;
  if (saved) apply_->setEnabled(false);
  return saved;
}

void CArchiveSettingsSheet::accept() {
  if (!Apply()) return;  // the user was told; the sheet stays open
  QDialog::accept();
}

void CArchiveSettingsSheet::reject() {
  log_->Cancel();
  QDialog::reject();
}
