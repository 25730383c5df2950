#include "toolkit/ui/CFlowLayout.h"

#include <QStyle>
#include <QWidget>
#include <algorithm>

CFlowLayout::CFlowLayout(QWidget* parent, int spacing) : QLayout(parent), spacing_(spacing) {}

CFlowLayout::~CFlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void CFlowLayout::addItem(QLayoutItem* item) { items_.append(item); }

int CFlowLayout::count() const { return static_cast<int>(items_.size()); }

QLayoutItem* CFlowLayout::itemAt(int index) const { return items_.value(index); }

QLayoutItem* CFlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

Qt::Orientations CFlowLayout::expandingDirections() const { return {}; }

bool CFlowLayout::hasHeightForWidth() const { return true; }

int CFlowLayout::heightForWidth(int width) const { return Arrange(QRect(0, 0, width, 0), false); }

QSize CFlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize CFlowLayout::sizeHint() const {
  // One row when there is room for it.
  int width = 0;
  int height = 0;
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    if (width > 0) width += Spacing();
    width += item->sizeHint().width();
    height = std::max(height, item->sizeHint().height());
  }
  const QMargins m = contentsMargins();
  return QSize(width + m.left() + m.right(), height + m.top() + m.bottom());
}

void CFlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, true);
}

int CFlowLayout::Spacing() const {
  if (spacing_ >= 0) return spacing_;
  const QWidget* owner = parentWidget();
  return owner ? owner->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, owner) : 6;
}

int CFlowLayout::Arrange(const QRect& rect, bool apply) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  const int gap = Spacing();
  int x = area.x();
  int y = area.y();
  int rowHeight = 0;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    if (x > area.x() && x + hint.width() > area.right() + 1) {
      x = area.x();
      y += rowHeight + gap;
      rowHeight = 0;
    }
    if (apply) item->setGeometry(QRect(QPoint(x, y), hint));
    x += hint.width() + gap;
    rowHeight = std::max(rowHeight, hint.height());
  }
  const QMargins m = contentsMargins();
  return y + rowHeight - rect.y() + m.bottom();
}
