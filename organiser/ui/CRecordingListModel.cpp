#include "organiser/ui/CRecordingListModel.h"

#include <QIcon>
#include <optional>

#include "organiser/CZelVelomarDoc.h"
#include "organiser/ListColumn.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CLegalHolds.h"
#include "toolkit/ui/CIconSet.h"
#include "toolkit/ui/StringTable.h"

using zel::ListColumn;
using zelgui::Str;

namespace {

QString FromStd(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Icons are made once: data() is called for every visible cell on every repaint.
const QIcon& CachedIcon(const char* name) {
  static QHash<QString, QIcon> cache;
  const QString key = QString::fromLatin1(name);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.insert(key, CIconSet::Icon(key));
  return *it;
}

// The hold that keeps the call, asked for the caller id cell only; the holds are
// read again only when their file changed.
std::optional<CLegalHolds::Hold> HoldOf(const CKlFileListEntry& entry) {
  return Singleton<CLegalHolds>::Instance()->HoldFor(entry.Path(), std::string(entry.CallerIdText()));
}

const char* ArchiveIconName(int kind) {
  switch (kind) {
    case 1: return "archive-disk";
    case 2: return "archive-zip";
    case 3: return "archive-iso";
    default: return nullptr;
  }
}

}  // namespace

CRecordingListModel::CRecordingListModel(CZelVelomarDoc& document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {}

int CRecordingListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(filter_.RowCount(document_.EntryCount()));
}

int CRecordingListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : zel::kListColumnCount;
}

QString CRecordingListModel::HeaderText(int column) {
  switch (static_cast<ListColumn>(column)) {
    case ListColumn::Encrypted: return Str(zelgui::kStrEncryptedColumn);
    case ListColumn::Important: return QStringLiteral("!");
    case ListColumn::UserId: return Str(zelgui::kStrUserId);
    case ListColumn::CallerId: return Str(zelgui::kStrCallerId);
    case ListColumn::Archived: return Str(zelgui::kStrArchivedColumn);
    case ListColumn::DateTime: return Str(zelgui::kStrDateTime);
    case ListColumn::Duration: return Str(zelgui::kStrDuration);
    case ListColumn::Bookmark: return Str(zelgui::kStrBookmarkColumn);
    case ListColumn::Comment: return Str(zelgui::kStrComment);
  }
  return QString();
}

QVariant CRecordingListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= zel::kListColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role == Qt::DisplayRole) return HeaderText(section);
  if (role == Qt::TextAlignmentRole) {
    const bool centred = zel::kListColumns[section].centred;
    return QVariant::fromValue(Qt::Alignment(centred ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter)));
  }
  return QVariant();
}

Qt::ItemFlags CRecordingListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QVariant CRecordingListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return QVariant();
  const CKlFileListEntry* entry = document_.EntryAt(EntryIndex(index.row()));
  if (!entry) return QVariant();
  const auto column = static_cast<ListColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case ListColumn::UserId: return FromStd(entry->UserIdText());
        case ListColumn::CallerId: return FromStd(entry->CallerIdText());
        case ListColumn::DateTime: return FromStd(entry->DateTimeText());
        case ListColumn::Duration: return FromStd(entry->DurationText());
        case ListColumn::Comment: return FromStd(CZelVelomarDoc::CommentColumnText(entry->CommentText()));
        default: return QVariant();
      }
    case Qt::DecorationRole:
      switch (column) {
        case ListColumn::Encrypted:
          return entry->Encrypted() ? QVariant(CachedIcon("encrypted")) : QVariant();
        case ListColumn::Important:
          return entry->Important() ? QVariant(CachedIcon("important")) : QVariant();
        case ListColumn::Bookmark:
          return entry->HasBookmark() ? QVariant(CachedIcon("bookmark")) : QVariant();
        case ListColumn::CallerId:
          return HoldOf(*entry) ? QVariant(CachedIcon("hold")) : QVariant();
        case ListColumn::Archived: {
          const char* name = ArchiveIconName(CZelVelomarDoc::ArchiveKind(*entry));
          return name ? QVariant(CachedIcon(name)) : QVariant();
        }
        default: return QVariant();
      }
    case Qt::ToolTipRole:
      switch (column) {
        case ListColumn::Encrypted:
          return entry->Encrypted() ? QVariant(Str(zelgui::kStrEncryptedTip)) : QVariant();
        case ListColumn::Important:
          return entry->Important() ? QVariant(Str(zelgui::kStrImportantTip)) : QVariant();
        case ListColumn::Bookmark:
          return entry->HasBookmark() ? QVariant(Str(zelgui::kStrBookmarkTip)) : QVariant();
        case ListColumn::Archived: return FromStd(CZelVelomarDoc::ArchivedTooltip(*entry));
        case ListColumn::CallerId: {
          const auto hold = HoldOf(*entry);
          return hold ? QVariant(QStringLiteral("Kept: ") + FromStd(CLegalHolds::Describe(*hold))) : QVariant();
        }
        case ListColumn::DateTime: return FromStd(entry->DateTimeText());
        case ListColumn::Comment: {
          const std::string_view comment = entry->CommentText();
          return comment.empty() ? QVariant() : QVariant(FromStd(comment));
        }
        default: return QVariant();
      }
    case Qt::TextAlignmentRole:
      if (zel::kListColumns[index.column()].centred) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
      return QVariant();
    case Qt::AccessibleTextRole:
      switch (column) {
        case ListColumn::Encrypted: return entry->Encrypted() ? Str(zelgui::kStrEncryptedTip) : QString();
        case ListColumn::Important: return entry->Important() ? Str(zelgui::kStrImportantTip) : QString();
        case ListColumn::Bookmark: return entry->HasBookmark() ? Str(zelgui::kStrBookmarkTip) : QString();
        case ListColumn::Archived: return CZelVelomarDoc::ArchiveKind(*entry) > 0 ? HeaderText(4) : QString();
        default: return data(index, Qt::DisplayRole);
      }
    case Qt::AccessibleDescriptionRole:
      return column == ListColumn::CallerId ? data(index, Qt::ToolTipRole) : QVariant();
    default: return QVariant();
  }
}

void CRecordingListModel::Reset() {
  beginResetModel();
  filter_.Refresh(document_.Entries());
  endResetModel();
}

void CRecordingListModel::HoldsChanged() {
  const int column = static_cast<int>(ListColumn::CallerId);
  if (rowCount() > 0) emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::DecorationRole});
}

void CRecordingListModel::SetFilter(const QString& text) {
  beginResetModel();
  filter_.SetText(text.toStdString(), document_.Entries());
  endResetModel();
}

void CRecordingListModel::PrepareFilter() { filter_.Prepare(document_.Entries()); }

void CRecordingListModel::RowChanged(int entry) {
  filter_.Forget();
  const int row = entry < 0 ? -1 : RowOf(static_cast<size_t>(entry));
  if (row < 0 || row >= rowCount()) return;
  emit dataChanged(index(row, 0), index(row, zel::kListColumnCount - 1));
}
