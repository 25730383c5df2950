#pragma once
#include <QAccessibleWidget>

class QMdiArea;
class QTabBar;

// What screen readers see of the area that holds the list windows: its tab bar (in
// tabbed mode, one page tab per list window) followed by the windows. Qt's own view
// of the area lists the windows only, so the tabs were unreachable.
class CListAreaAccessible : public QAccessibleWidget {
 public:
  explicit CListAreaAccessible(QMdiArea* area);

  // For QAccessible::installFactory: this view for every MDI area.
  static QAccessibleInterface* Factory(const QString& className, QObject* object);

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;

 private:
  QList<QWidget*> Children() const;
  QMdiArea* Area() const;
};
