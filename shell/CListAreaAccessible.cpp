#include "shell/CListAreaAccessible.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabBar>

CListAreaAccessible::CListAreaAccessible(QMdiArea* area) : QAccessibleWidget(area, QAccessible::LayeredPane) {}

QAccessibleInterface* CListAreaAccessible::Factory(const QString& className, QObject* object) {
  if (className != QLatin1String("QMdiArea")) return nullptr;
  auto* area = qobject_cast<QMdiArea*>(object);
  return area ? new CListAreaAccessible(area) : nullptr;
}

QMdiArea* CListAreaAccessible::Area() const { return static_cast<QMdiArea*>(widget()); }

QList<QWidget*> CListAreaAccessible::Children() const {
  QList<QWidget*> children;
  // The area's own tab bar is its direct child; the windows live in its viewport.
  if (auto* bar = Area()->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly); bar && !bar->isHidden())
    children << bar;
  for (QMdiSubWindow* window : Area()->subWindowList()) children << window;
  return children;
}

int CListAreaAccessible::childCount() const { return static_cast<int>(Children().size()); }

QAccessibleInterface* CListAreaAccessible::child(int index) const {
  const QList<QWidget*> children = Children();
  if (index < 0 || index >= children.size()) return nullptr;
  return QAccessible::queryAccessibleInterface(children[index]);
}

int CListAreaAccessible::indexOfChild(const QAccessibleInterface* child) const {
  if (!child) return -1;
  return static_cast<int>(Children().indexOf(qobject_cast<QWidget*>(child->object())));
}
