#pragma once
#include <QStringList>
#include <functional>
#include <QTableView>

class QMimeData;

// The table of a recording list window: full-row selection, grid lines, and the
// drags and drops of file lists. Dragging selected rows hands the view's file list
// to the desktop; dropped files and folders are passed on to the view.
class CRecordingListTable : public QTableView {
  Q_OBJECT
 public:
  explicit CRecordingListTable(QWidget* parent = nullptr);

  // Gives the data dragged out of the table (the view packs its selection).
  void SetDragSource(std::function<QMimeData*()> source) { dragSource_ = std::move(source); }
  // The line an empty list shows in its place (and gives screen readers), telling
  // how calls get into a list.
  static QString EmptyHint();
  // Keeps the screen readers' description in step with the rows; the view calls it
  // after the model changed.
  void UpdateEmptyHint();

 signals:
  // Local files (recordings) and folders dropped on the table.
  void filesDropped(const QStringList& files);
  void foldersDropped(const QStringList& folders);
  void activatedByKey();
  void deleteByKey();

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<QMimeData*()> dragSource_;
};
