#pragma once
#include <QAbstractTableModel>
#include <vector>

#include "core/AuditTrail.h"

// The lines of the audit trail as table rows (time, user, host, action, path,
// detail); a view over records read elsewhere, so a long trail costs no item objects.
class CAuditTrailModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kTime, kUser, kHost, kAction, kPath, kDetail, kColumns };
  explicit CAuditTrailModel(QObject* parent = nullptr);
  ~CAuditTrailModel() override;

  void SetRecords(std::vector<zel::AuditRecord> records);
  const std::vector<zel::AuditRecord>& Records() const { return records_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  std::vector<zel::AuditRecord> records_;
};
