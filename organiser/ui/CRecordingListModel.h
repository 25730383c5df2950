#pragma once
#include <QAbstractTableModel>

class CZelVelomarDoc;
class CKlFileListEntry;

// The nine columns of a recording list over the document's entries. Nothing is
// copied: every call reads the entry at the row, so the model adds no memory per
// entry and a reset after a change is all a redisplay needs.
class CRecordingListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit CRecordingListModel(CZelVelomarDoc& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The entries changed in number or order.
  void Reset();
  // The texts or flags of the entry at `row` changed.
  void RowChanged(int row);
  // The legal holds changed: the caller id column's hold icons are asked again.
  void HoldsChanged();
  // The header text of `column`.
  static QString HeaderText(int column);

 private:
  CZelVelomarDoc& document_;
};
