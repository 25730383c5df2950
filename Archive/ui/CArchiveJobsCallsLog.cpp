#include "Archive/ui/CArchiveJobsCallsLog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "Archive/CArchiveLogger.h"
#include "Archive/ui/CArchiveJobCommentEditDlg.h"
#include "core/MessageSink.h"

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

QListWidgetItem* MakeItem(const CJobArchListEntry& entry) {
  auto* item = new QListWidgetItem(QString::fromStdString(CArchiveLogger::GetListLine(entry)));
  // The entry's id stays with its line: indices move when lines are deleted.
  item->setData(kIdRole, entry.JobTime());
  return item;
}

}  // namespace

CArchiveJobsCallsLog::CArchiveJobsCallsLog(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setAccessibleName(QStringLiteral("Archive Jobs"));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  layout->addWidget(list_, 1);
  auto* row = new QHBoxLayout;
  edit_ = new QPushButton(QStringLiteral("Edit &Comment..."), this);
  detail_ = new QPushButton(QStringLiteral("View &Detail"), this);
  delete_ = new QPushButton(QStringLiteral("D&elete"), this);
  row->addWidget(edit_);
  row->addWidget(detail_);
  row->addWidget(delete_);
  row->addStretch(1);
  layout->addLayout(row);
  connect(edit_, &QPushButton::clicked, this, &CArchiveJobsCallsLog::EditComment);
  connect(detail_, &QPushButton::clicked, this, &CArchiveJobsCallsLog::ViewDetail);
  connect(delete_, &QPushButton::clicked, this, &CArchiveJobsCallsLog::Delete);
  connect(list_, &QListWidget::itemSelectionChanged, this, &CArchiveJobsCallsLog::UpdateButtons);
  connect(list_, &QListWidget::itemDoubleClicked, this, &CArchiveJobsCallsLog::EditComment);

  auto log = Singleton<CArchiveLogger>::Instance();
  if (log->IsLoaded()) {
    log->Save();
  } else {
    log->Load(true);
  }
  Fill();
}

void CArchiveJobsCallsLog::Fill() {
  list_->clear();
  for (const auto& entry : Singleton<CArchiveLogger>::Instance()->Entries()) list_->addItem(MakeItem(entry));
  UpdateButtons();
}

void CArchiveJobsCallsLog::UpdateButtons() {
  int selected = static_cast<int>(list_->selectedItems().size());
  edit_->setEnabled(selected == 1);
  detail_->setEnabled(selected > 0);
  delete_->setEnabled(selected > 0);
}

std::vector<int> CArchiveJobsCallsLog::SelectedIndices() const {
  auto log = Singleton<CArchiveLogger>::Instance();
  std::vector<std::pair<int, int>> rows;  // row, log index
  for (QListWidgetItem* item : list_->selectedItems()) {
    int index = log->IndexOfId(item->data(kIdRole).toInt());
    if (index >= 0) rows.emplace_back(list_->row(item), index);
  }
  std::sort(rows.begin(), rows.end());
  std::vector<int> indices;
  for (const auto& row : rows) indices.push_back(row.second);
  return indices;
}

void CArchiveJobsCallsLog::EditComment() {
  auto items = list_->selectedItems();
  if (items.size() != 1) return;
  auto log = Singleton<CArchiveLogger>::Instance();
  int index = log->IndexOfId(items.front()->data(kIdRole).toInt());
  CJobArchListEntry entry;
  if (!log->GetEntry(index, entry)) return;
  QString comment = QString::fromStdString(entry.Comment());
  if (!CArchiveJobCommentEditDlg::Edit(comment, this, commentEditor)) return;
  log->SetEntryComment(index, comment.toStdString());
  log->GetEntry(index, entry);
  items.front()->setText(QString::fromStdString(CArchiveLogger::GetListLine(entry)));
  items.front()->setSelected(true);
  emit changed();
}

void CArchiveJobsCallsLog::ViewDetail() {
  auto indices = SelectedIndices();
  if (!indices.empty()) Singleton<CArchiveLogger>::Instance()->ViewReport(indices);
}

void CArchiveJobsCallsLog::Delete() {
  auto indices = SelectedIndices();
  if (indices.empty()) return;
  std::sort(indices.rbegin(), indices.rend());
  auto log = Singleton<CArchiveLogger>::Instance();
  for (int index : indices) log->RemoveEntry(index);
  qDeleteAll(list_->selectedItems());
  UpdateButtons();
  emit changed();
}

bool CArchiveJobsCallsLog::Apply() {
  auto log = Singleton<CArchiveLogger>::Instance();
  // An empty log writes nothing and keeps the old file; that is no failure.
  if (!log->IsDirty() || log->Count() == 0) return true;
  if (log->Save()) return true;
  zel::MessageSink()->ShowMessage("The archive log could not be saved to " + log->Path() + ".", "Zel Velomar",
                                  IMessageSink::Icon::Warning);
  return false;
}

void CArchiveJobsCallsLog::Cancel() {
  Singleton<CArchiveLogger>::Instance()->Load(true);
  Fill();
}
