#include "Archive/ui/CAuditTrailDlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "Archive/ui/CAuditTrailModel.h"
#include "core/AuditTrail.h"

CAuditTrailDlg::CAuditTrailDlg(QWidget* parent, const std::string& trailPath)
    : QDialog(parent), trailPath_(trailPath.empty() ? zel::AuditTrail().Path() : trailPath) {
  setWindowTitle(QStringLiteral("Audit Trail"));
  auto* layout = new QVBoxLayout(this);

  auto* filters = new QHBoxLayout;
  auto* pathLabel = new QLabel(QStringLiteral("&Path contains:"), this);
  path_ = new QLineEdit(this);
  path_->setAccessibleName(QStringLiteral("Path contains"));
  path_->setClearButtonEnabled(true);
  pathLabel->setBuddy(path_);
  auto* callerLabel = new QLabel(QStringLiteral("&Caller ID:"), this);
  caller_ = new QLineEdit(this);
  caller_->setAccessibleName(QStringLiteral("Caller ID"));
  caller_->setClearButtonEnabled(true);
  callerLabel->setBuddy(caller_);
  sinceOn_ = new QCheckBox(QStringLiteral("&Since:"), this);
  since_ = new QDateEdit(QDate::currentDate(), this);
  since_->setCalendarPopup(true);
  since_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  since_->setAccessibleName(QStringLiteral("Since date"));
  since_->setEnabled(false);
  filters->addWidget(pathLabel);
  filters->addWidget(path_, 2);
  filters->addWidget(callerLabel);
  filters->addWidget(caller_, 1);
  filters->addWidget(sinceOn_);
  filters->addWidget(since_);
  layout->addLayout(filters);

  model_ = new CAuditTrailModel(this);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setAccessibleName(QStringLiteral("Audit trail entries"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideMiddle);  // a path's folder and file name both stay readable
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(CAuditTrailModel::kTime, 160);
  table_->setColumnWidth(CAuditTrailModel::kPath, 320);
  layout->addWidget(table_, 1);

  count_ = new QLabel(this);
  layout->addWidget(count_);
  result_ = new QLabel(this);
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(result_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  auto* reread = buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
  reread->setAccessibleDescription(QStringLiteral("Reads the trail again, with the lines added since"));
  connect(reread, &QPushButton::clicked, this, &CAuditTrailDlg::Refresh);
  verify_ = buttons->addButton(QStringLiteral("&Verify"), QDialogButtonBox::ActionRole);
  verify_->setAccessibleDescription(QStringLiteral("Checks that no line of the trail was changed, removed or inserted"));
  buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(verify_, &QPushButton::clicked, this, &CAuditTrailDlg::Verify);

  refresh_ = new QTimer(this);
  refresh_->setSingleShot(true);
  refresh_->setInterval(250);
  connect(refresh_, &QTimer::timeout, this, &CAuditTrailDlg::Refresh);
  auto later = [this] { refresh_->start(); };
  connect(path_, &QLineEdit::textChanged, this, later);
  connect(caller_, &QLineEdit::textChanged, this, later);
  connect(since_, &QDateEdit::dateChanged, this, later);
  connect(sinceOn_, &QCheckBox::toggled, this, [this, later](bool on) {
    since_->setEnabled(on);
    later();
  });
  resize(900, 520);
  Refresh();
}

CAuditTrailDlg::~CAuditTrailDlg() {
  // The work owns copies of what it reads; only its result is dropped.
  reading_.Cancel();
  verifying_.Cancel();
}

void CAuditTrailDlg::Refresh() {
  refresh_->stop();
  reading_.Cancel();
  zel::AuditTrail::Filter filter;
  filter.path = path_->text().toStdString();
  filter.pathPart = true;
  filter.caller = caller_->text().trimmed().toStdString();
  if (sinceOn_->isChecked()) filter.since = since_->date().toString(Qt::ISODate).toStdString();
  count_->setText(QStringLiteral("Reading the audit trail..."));
  reading_ = CAsyncTask::Run(
      this, [path = trailPath_, filter] { return zel::AuditTrail(path).Read(filter); },
      [this](std::vector<zel::AuditRecord> records) {
        const size_t n = records.size();
        model_->SetRecords(std::move(records));
        table_->scrollToBottom();  // the newest lines are the ones looked for
        count_->setText(n == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(n));
      });
}

void CAuditTrailDlg::Verify() {
  if (verifying_.IsRunning()) return;
  verify_->setEnabled(false);
  result_->setText(QStringLiteral("Checking the audit trail..."));
  verifying_ = CAsyncTask::Run(
      this, [path = trailPath_] { return zel::AuditTrail(path).Verify(); },
      [this](const zel::AuditTrail::Verification& check) {
        verify_->setEnabled(true);
        if (check.ok) {
          result_->setText(check.lines == 1 ? QStringLiteral("The audit trail is intact: 1 line.")
                                            : QStringLiteral("The audit trail is intact: %1 lines.").arg(check.lines));
        } else {
          result_->setText(QStringLiteral("The audit trail was altered: %1 in %2.")
                               .arg(QString::fromStdString(check.problem), QString::fromStdString(check.file)));
        }
      });
}
