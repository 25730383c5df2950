#pragma once
#include <QLayout>
#include <QList>

// Lays its items out in rows, left to right, and starts a new row when the next item
// would not fit: a row of buttons stays whole however narrow its window is, and the
// window's minimum width is that of its widest item.
class CFlowLayout : public QLayout {
 public:
  explicit CFlowLayout(QWidget* parent = nullptr, int spacing = -1);
  ~CFlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items in `rect` (only measures when `apply` is false); returns the height used.
  int Arrange(const QRect& rect, bool apply) const;
  int Spacing() const;

  QList<QLayoutItem*> items_;
  int spacing_;
};
