#include "audio/ui/CPlayerBar.h"

#include <QCloseEvent>

#include "audio/ui/CPlayerForm.h"

CPlayerBar::CPlayerBar(QWidget* parent) : QDockWidget(QStringLiteral("Player Panel"), parent), form_(new CPlayerForm(this)) {
  setObjectName(QStringLiteral("PlayerPanel"));
  setAccessibleName(QStringLiteral("Player Panel"));
  setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
  setWidget(form_);
  // The size holds whether docked or floating: the dock's limits apply in both.
  setMinimumWidth(kMinWidth);
  setFixedHeight(kHeight);
}

void CPlayerBar::closeEvent(QCloseEvent* event) {
  QDockWidget::closeEvent(event);
  if (event->isAccepted()) form_->Stop();
}
