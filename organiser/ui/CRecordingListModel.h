#pragma once
#include <QAbstractTableModel>

#include "organiser/ListFilter.h"

class CZelVelomarDoc;
class CKlFileListEntry;

// The nine columns of a recording list over the document's entries. Nothing is
// copied: every call reads the entry at the row, so the model adds no memory per
// entry and a reset after a change is all a redisplay needs. While the filter holds
// text the rows are the entries it keeps, in list order (4 bytes per row).
class CRecordingListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit CRecordingListModel(CZelVelomarDoc& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The entries changed in number or order (the filter is applied again).
  void Reset();
  // The texts or flags of the entry at `entry` changed (it stays shown or hidden
  // until the filter or the entries change).
  void RowChanged(int entry);
  // Shows only the entries whose texts contain `text` (all for an empty text).
  void SetFilter(const QString& text);
  bool Filtered() const { return filter_.Active(); }
  // Gets the filter ready for typing, or lets go of what that took (zel::ListFilter).
  void PrepareFilter();
  void ReleaseFilter() { filter_.Release(); }
  // The document index of the entry in `row`, and the row of entry `index` (-1 when hidden).
  size_t EntryIndex(int row) const { return filter_.EntryOfRow(static_cast<size_t>(row)); }
  int RowOf(size_t index) const { return static_cast<int>(filter_.RowOfEntry(index)); }
  // The legal holds changed: the caller id column's hold icons are asked again.
  void HoldsChanged();
  // The header text of `column`.
  static QString HeaderText(int column);

 private:
  CZelVelomarDoc& document_;
  zel::ListFilter filter_;
};
