#include "Archive/ui/CAuditTrailModel.h"

#include <QThreadPool>
#include <memory>
#include <utility>

namespace {

// Freeing a million records takes longer than a window may stall: a pool thread does it.
void ReleaseLater(std::vector<zel::AuditRecord>& records) {
  if (records.size() < 10000) return;
  auto doomed = std::make_shared<std::vector<zel::AuditRecord>>(std::move(records));
  QThreadPool::globalInstance()->start([doomed] {
    doomed->clear();
    doomed->shrink_to_fit();
  });
}

}  // namespace

CAuditTrailModel::CAuditTrailModel(QObject* parent) : QAbstractTableModel(parent) {}

CAuditTrailModel::~CAuditTrailModel() { ReleaseLater(records_); }

void CAuditTrailModel::SetRecords(std::vector<zel::AuditRecord> records) {
  beginResetModel();
  ReleaseLater(records_);
  records_ = std::move(records);
  endResetModel();
}

int CAuditTrailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int CAuditTrailModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CAuditTrailModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
    return {};
  }
  const zel::AuditRecord& record = records_[static_cast<size_t>(index.row())];
  std::string text;
  switch (index.column()) {
    case kTime: text = record.time; break;
    case kUser: text = record.user; break;
    case kHost: text = record.host; break;
    case kAction: text = record.action; break;
    case kPath: text = record.path; break;
    case kDetail:
      // The fingerprints say the file changed or left; the detail says how.
      text = record.detail;
      if (!record.before.empty() || !record.after.empty()) {
        if (!text.empty()) text += "; ";
        text += "SHA-256 " + (record.before.empty() ? std::string("-") : record.before.substr(0, 12)) + " -> " +
                (record.after.empty() ? std::string("gone") : record.after.substr(0, 12));
      }
      break;
    default: break;
  }
  return QString::fromStdString(text);
}

QVariant CAuditTrailModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumns] = {"Time", "User", "Host", "Action", "Path", "Detail"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}
