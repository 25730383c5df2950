#include "organiser/ui/CHistoryDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "organiser/CollectionCommands.h"

CHistoryDlg::CHistoryDlg(std::vector<std::string> paths, QWidget* parent)
    : QDialog(parent), paths_(std::move(paths)) {
  setWindowTitle(tr("History"));
  list_ = new QListWidget(this);
  list_->setAccessibleName(tr("History"));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const std::string& path : paths_) {
    auto* line = new QListWidgetItem(QString::fromStdString(zel::LinkLabel(path)), list_);
    line->setToolTip(QString::fromStdString(path));
  }
  remove_ = new QPushButton(tr("&Remove"), this);
  clear_ = new QPushButton(tr("C&lear"), this);
  play_ = new QPushButton(tr("&Play"), this);
  close_ = new QPushButton(tr("&Close"), this);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {play_, remove_, clear_, close_}) {
    button->setAccessibleName(button->text().remove(QLatin1Char('&')));
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(list_, &QListWidget::itemSelectionChanged, this, &CHistoryDlg::UpdateButtons);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
    if (list_->selectedItems().size() == 1) Play();
  });
  connect(remove_, &QPushButton::clicked, this, &CHistoryDlg::Remove);
  connect(clear_, &QPushButton::clicked, this, &CHistoryDlg::Clear);
  connect(play_, &QPushButton::clicked, this, &CHistoryDlg::Play);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  UpdateButtons();
  resize(420, 320);
}

void CHistoryDlg::UpdateButtons() {
  const int selected = static_cast<int>(list_->selectedItems().size());
  clear_->setEnabled(list_->count() > 0);
  remove_->setEnabled(selected >= 1);
  play_->setEnabled(selected == 1);
}

void CHistoryDlg::Remove() {
  std::vector<int> rows;
  for (QListWidgetItem* line : list_->selectedItems()) rows.push_back(list_->row(line));
  std::sort(rows.rbegin(), rows.rend());
  for (int row : rows) {
    delete list_->takeItem(row);
    paths_.erase(paths_.begin() + row);
  }
  UpdateButtons();
}

void CHistoryDlg::Clear() {
  list_->clear();
  paths_.clear();
  UpdateButtons();
}

void CHistoryDlg::Play() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.size() != 1) return;
  playPath_ = paths_[static_cast<size_t>(list_->row(selected.front()))];
  accept();
}
