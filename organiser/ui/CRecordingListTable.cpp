#include "organiser/ui/CRecordingListTable.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

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
  QTableView::keyPressEvent(event);
}
