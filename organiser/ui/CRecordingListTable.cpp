#include "organiser/ui/CRecordingListTable.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>

#include "organiser/ui/DroppedFiles.h"

CRecordingListTable::CRecordingListTable(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setShowGrid(true);
  setWordWrap(false);
  setAlternatingRowColors(false);
  setIconSize(QSize(16, 16));
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  // Fixed row heights: the table never asks the model for sizes of rows it does not show.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(true);
  setAccessibleName(QStringLiteral("Recordings"));
  // Tab leaves the list for the next control rather than walking its cells.
  setTabKeyNavigation(false);
}

QString CRecordingListTable::EmptyHint() {
  return QStringLiteral("No calls here yet. Create a list from a folder (File > Create...), "
                        "or drop a folder of recordings here.");
}

void CRecordingListTable::UpdateEmptyHint() {
  const bool empty = !model() || model()->rowCount() == 0;
  const QString description = empty ? EmptyHint() : QString();
  if (accessibleDescription() != description) setAccessibleDescription(description);
  viewport()->update();
}

void CRecordingListTable::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (model() && model()->rowCount() > 0) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::PlaceholderText));
  painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                   EmptyHint());
}

void CRecordingListTable::startDrag(Qt::DropActions supportedActions) {
  if (!dragSource_) return;
  QMimeData* mime = dragSource_();
  if (!mime) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(supportedActions & (Qt::CopyAction | Qt::MoveAction), Qt::CopyAction);
}

void CRecordingListTable::dragEnterEvent(QDragEnterEvent* event) {
  // Our own rows dragged back onto the list add nothing.
  if (event->source() != this && event->mimeData()->hasUrls()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void CRecordingListTable::dragMoveEvent(QDragMoveEvent* event) {
  if (event->source() != this && event->mimeData()->hasUrls()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void CRecordingListTable::dropEvent(QDropEvent* event) {
  QStringList files, folders;
  for (const std::string& path : zel::ui::DroppedFiles(event->mimeData())) {
    QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    // A link (the desktop's shortcut) stands for what it points to.
    if (info.isSymLink()) name = info.symLinkTarget();
    if (QFileInfo(name).isDir())
      folders << name;
    else
      files << name;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (!folders.isEmpty()) emit foldersDropped(folders);
  if (!files.isEmpty()) emit filesDropped(files);
}

void CRecordingListTable::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    emit activatedByKey();
    return;
  }
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit deleteByKey();
    return;
  }
  // Home and End (with or without Ctrl) select the first or the last call; the
  // table alone would move between the cells of a row.
  const bool jump = event->key() == Qt::Key_Home || event->key() == Qt::Key_End;
  if (jump && (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::ControlModifier)) {
    const int rows = model() ? model()->rowCount() : 0;
    if (rows > 0) {
      const QModelIndex target = model()->index(event->key() == Qt::Key_Home ? 0 : rows - 1, 0);
      selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      scrollTo(target);
    }
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}
