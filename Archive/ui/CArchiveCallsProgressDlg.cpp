#include "Archive/ui/CArchiveCallsProgressDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "Archive/CArchiveManager.h"

CArchiveCallsProgressDlg::CArchiveCallsProgressDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Archive Calls"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Archiving scheduled calls..."), this));
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setAccessibleName(QStringLiteral("Archive progress"));
  layout->addWidget(bar_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &CArchiveCallsProgressDlg::reject);
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &CArchiveCallsProgressDlg::Poll);
  timer_->start();
  resize(360, 120);
}

void CArchiveCallsProgressDlg::Poll() {
  auto manager = Singleton<CArchiveManager>::Instance();
  bar_->setValue(std::clamp(static_cast<int>(manager->GetRunStats().Progress), 0, 100));
  if (!manager->IsRunning()) {
    timer_->stop();
    bar_->setValue(100);
    accept();
  }
}

void CArchiveCallsProgressDlg::reject() {
  timer_->stop();
  Singleton<CArchiveManager>::Instance()->Cancel();
  QDialog::reject();
}
