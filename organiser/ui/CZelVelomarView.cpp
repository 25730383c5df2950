#include "organiser/ui/CZelVelomarView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <map>
#include <optional>

#include "audio/CPlaybackManager.h"
#include "audio/CRecordingEdits.h"
#include "audio/ui/CLegalHoldDlg.h"
#include "audio/ui/CPlayerForm.h"
#include "core/CSettings.h"
#include "core/MessageSink.h"
#include "organiser/CCallHistory.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/ListColumn.h"
#include "organiser/SearchRules.h"
#include "organiser/ui/CAnnotateDlg.h"
#include "organiser/ui/CRecordingListModel.h"
#include "organiser/ui/CRecordingListTable.h"
#include "organiser/ui/CSearchDlg.h"
#include "organiser/ui/DroppedFiles.h"
#include "organiser/ui/IListWindowHost.h"
#include "platform/Desktop.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CLegalHolds.h"
#include "toolkit/ui/CAsyncTask.h"
#include "toolkit/ui/CFlowLayout.h"
#include "toolkit/ui/CProgressWnd.h"
#include "toolkit/ui/Notifications.h"
#include "toolkit/ui/StringTable.h"

using zelgui::Str;

namespace {

// The list document's own filter, and the one of "Append...".
const char kListFilter[] = "ZEL Recording List Files (*.reclist)";
const char kAppendFilter[] = "ZEL Recording List (*.reclist)";

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

// The numbered texts carry printf placeholders.
QString Printf(int id, int a) { return Str(id).replace(QStringLiteral("%d"), QString::number(a)); }
QString Printf(int id, int a, int b) {
  QString text = Str(id);
  const qsizetype first = text.indexOf(QStringLiteral("%d"));
  if (first >= 0) text.replace(first, 2, QString::number(a));
  return text.replace(QStringLiteral("%d"), QString::number(b));
}

CPlaybackManager& Manager() { return *Singleton<CPlaybackManager>::Instance(); }

}  // namespace

CZelVelomarView::CZelVelomarView(std::unique_ptr<CZelVelomarDoc> document, IListWindowHost* host, QWidget* parent)
    : QWidget(parent), document_(std::move(document)), host_(host) {
  if (!document_) document_ = std::make_unique<CZelVelomarDoc>();
  label_ = new QLabel(this);
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label_->setTextFormat(Qt::PlainText);  // a folder or list name, never markup
  QFont bold = label_->font();
  bold.setBold(true);
  label_->setFont(bold);
  // A long title is cut rather than widening the window.
  label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

  // Narrows the rows to the calls whose texts hold what is typed; the entries stay.
  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(QStringLiteral("Filter calls (Ctrl+F)"));
  filter_->setToolTip(QStringLiteral("Show only the calls whose caller, user, comment or date and time contain this text"));
  filter_->setAccessibleName(QStringLiteral("Filter calls"));
  filter_->setClearButtonEnabled(true);
  filter_->installEventFilter(this);
  connect(filter_, &QLineEdit::textChanged, this, &CZelVelomarView::ApplyFilter);
  auto* find = new QShortcut(QKeySequence::Find, this);
  find->setContext(Qt::WidgetWithChildrenShortcut);
  connect(find, &QShortcut::activated, this, [this] {
    filter_->setFocus(Qt::ShortcutFocusReason);
    filter_->selectAll();
  });

  model_ = new CRecordingListModel(*document_, this);
  table_ = new CRecordingListTable(this);
  table_->setModel(model_);
  connect(model_, &QAbstractItemModel::modelReset, table_, &CRecordingListTable::UpdateEmptyHint);
  QHeaderView* header = table_->horizontalHeader();
  header->setSortIndicatorShown(true);
  header->setSectionsClickable(true);
  header->setSortIndicator(sortColumn_, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  {
    applyingWidths_ = true;
    auto settings = Singleton<CSettings>::Instance();
    for (int i = 0; i < zel::kListColumnCount; ++i) {
      const int width = settings->GetColumnWidth(i);
      if (width > 0) table_->setColumnWidth(i, width);
    }
    applyingWidths_ = false;
  }
  widthSaver_ = new QTimer(this);
  widthSaver_->setSingleShot(true);
  widthSaver_->setInterval(500);
  connect(widthSaver_, &QTimer::timeout, this, [] { Singleton<CSettings>::Instance()->Save(); });
  connect(header, &QHeaderView::sectionClicked, this, &CZelVelomarView::HeaderClicked);
  connect(header, &QHeaderView::sectionResized, this,
          [this](int column, int, int size) { WriteColumnWidth(column, size); });
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    LoadSelectedIntoPlayer();
    UpdateButtons();
    emit selectionChanged();
  });
  connect(table_, &QAbstractItemView::doubleClicked, this, [this] { PlaySelected(); });
  connect(table_, &CRecordingListTable::activatedByKey, this, &CZelVelomarView::PlaySelected);
  connect(table_, &CRecordingListTable::deleteByKey, this, &CZelVelomarView::DeleteSelected);
  connect(table_, &CRecordingListTable::filesDropped, this, &CZelVelomarView::AddFiles);
  connect(table_, &CRecordingListTable::foldersDropped, this, &CZelVelomarView::SearchFolders);
  connect(table_, &QWidget::customContextMenuRequested, this, &CZelVelomarView::ShowContextMenu);
  table_->SetDragSource([this] { return SelectionMimeData(); });

  refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
  search_ = new QPushButton(QStringLiteral("Search..."), this);
  export_ = new QPushButton(QStringLiteral("Export..."), this);
  delete_ = new QPushButton(QStringLiteral("Delete"), this);
  annotate_ = new QPushButton(QStringLiteral("Annotate..."), this);
  annotate_->setToolTip(QStringLiteral("Annotate the call"));
  connect(annotate_, &QPushButton::clicked, this, &CZelVelomarView::Annotate);
  archive_ = new QPushButton(QStringLiteral("Archive..."), this);
  archive_->setToolTip(QStringLiteral("Archive the calls of this list"));
  connect(archive_, &QPushButton::clicked, this, [this] {
    if (host_) host_->ArchiveList(this);
  });
  search_->setToolTip(QStringLiteral("Search for specific calls"));
  refresh_->setToolTip(QStringLiteral("Refresh the list"));
  export_->setToolTip(QStringLiteral("Export the selected recordings"));
  delete_->setToolTip(QStringLiteral("Delete the selected recordings"));
  connect(refresh_, &QPushButton::clicked, this, &CZelVelomarView::Refresh);
  connect(search_, &QPushButton::clicked, this, &CZelVelomarView::SearchWithin);
  connect(export_, &QPushButton::clicked, this, &CZelVelomarView::ExportSelected);
  connect(delete_, &QPushButton::clicked, this, &CZelVelomarView::DeleteSelected);

  calls_ = new QLabel(this);
  important_ = new QLabel(this);
  duration_ = new QLabel(this);

  // Summary and buttons flow into more rows when the window is narrow, so a window
  // of a tiled set never needs more width than its widest button.
  auto* bar = new CFlowLayout;
  bar->addWidget(calls_);
  bar->addWidget(important_);
  bar->addWidget(duration_);
  setTabOrder(filter_, table_);
  QWidget* previous = table_;
  for (QPushButton* button : {annotate_, refresh_, search_, export_, archive_, delete_}) {
    bar->addWidget(button);
    // Tab walks the buttons in the order they are shown.
    setTabOrder(previous, button);
    previous = button;
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(label_);
  layout->addWidget(filter_);
  layout->addWidget(table_, 1);
  layout->addLayout(bar);
  // However small a tiled window gets, its buttons stay inside it (three to a row
  // under a few rows of the list); the list area scrolls instead.
  const int minWidth = 3 * annotate_->sizeHint().width() + 2 * bar->spacing() + 8;
  setMinimumSize(minWidth, label_->sizeHint().height() + filter_->sizeHint().height() +
                               4 * table_->verticalHeader()->defaultSectionSize() + bar->heightForWidth(minWidth - 8) +
                               4 * layout->spacing() + 8);
  BuildContextMenu();
  setAccessibleName(QStringLiteral("Recording list"));
  setFocusProxy(table_);
  Redisplay();
}

CZelVelomarView::~CZelVelomarView() {
  if (widthSaver_->isActive()) Singleton<CSettings>::Instance()->Save();
}

CZelVelomarDoc& CZelVelomarView::Document() const { return *document_; }

std::string CZelVelomarView::Passphrase() const {
  return zel::TrimBlanks(Singleton<CSettings>::Instance()->GetPassphrase());
}

CRecordingEdits CZelVelomarView::Edits() const {
  CRecordingEdits edits(&Manager(), Passphrase());
  if (CPlayerForm* player = host_ ? host_->Player() : nullptr) {
    edits.onPlayerChanged = [player](const std::string& path) { player->ShowRecording(path); };
    edits.releasePlayer = [player] { player->CloseRecording(); };
  }
  return edits;
}

void CZelVelomarView::Redisplay() {
  document_->Sort(sortColumn_, sortDescending_);
  model_->Reset();
  table_->horizontalHeader()->setSortIndicator(sortColumn_,
                                               sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  RefreshLabels();
}

void CZelVelomarView::RefreshLabels() {
  label_->setText(FromStd(document_->LabelText()));
  UpdateSummary();
}

void CZelVelomarView::UpdateSummary() {
  calls_->setText(model_->Filtered() ? QStringLiteral("Calls: %1 of %2")
                                           .arg(model_->rowCount())
                                           .arg(static_cast<qulonglong>(document_->EntryCount()))
                                     : FromStd(document_->CallsText()));
  important_->setText(FromStd(document_->ImportantText()));
  duration_->setText(FromStd(document_->DurationText()));
  const QString title = FromStd(document_->WindowTitle());
  if (title != windowTitle()) {
    setWindowTitle(title);
    emit titleChanged(title);
  }
  UpdateButtons();
}

void CZelVelomarView::ApplyFilter(const QString& text) {
  const std::vector<size_t> selected = SelectedIndices();
  const QModelIndex current = table_->selectionModel()->currentIndex();
  const long currentEntry = current.isValid() ? static_cast<long>(model_->EntryIndex(current.row())) : -1;
  {
    // The selection is the same calls where they stay shown: nothing for the player
    // to load; the buttons and menus are brought up to date below.
    const QSignalBlocker block(table_->selectionModel());
    model_->SetFilter(text);
    std::vector<size_t> kept;
    for (size_t i : selected) {
      if (model_->RowOf(i) >= 0) kept.push_back(i);
    }
    // The current call first, so that it stays current.
    if (currentEntry >= 0 && model_->RowOf(static_cast<size_t>(currentEntry)) >= 0) {
      kept.erase(std::remove(kept.begin(), kept.end(), static_cast<size_t>(currentEntry)), kept.end());
      kept.insert(kept.begin(), static_cast<size_t>(currentEntry));
    }
    SelectIndices(kept);
  }
  const QModelIndex now = table_->selectionModel()->currentIndex();
  if (now.isValid()) table_->scrollTo(now);
  UpdateSummary();
  emit selectionChanged();
}

bool CZelVelomarView::eventFilter(QObject* watched, QEvent* event) {
  // The filter reads every call's texts once when the user goes to the field, not
  // on the first keystroke, and lets them go when it is left empty. A window that
  // opens or comes back with the focus in the field reads them on the first keystroke.
  if (watched == filter_ && event->type() == QEvent::FocusIn) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ShortcutFocusReason || reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
        reason == Qt::BacktabFocusReason) {
      model_->PrepareFilter();
    }
  }
  if (watched == filter_ && event->type() == QEvent::FocusOut && filter_->text().isEmpty()) model_->ReleaseFilter();
  if (watched == filter_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    // Esc clears the filter; on an empty one it goes back to the list.
    if (filter_->text().isEmpty()) {
      table_->setFocus(Qt::ShortcutFocusReason);
    } else {
      filter_->clear();
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CZelVelomarView::UpdateButtons() {
  auto settings = Singleton<CSettings>::Instance();
  const bool selected = HasSelection();
  search_->setEnabled(document_->EntryCount() > 0);
  archive_->setEnabled(document_->EntryCount() > 0);
  export_->setEnabled(selected && !settings->IsExportBlocked() && !exporting_);
  delete_->setEnabled(selected && !settings->IsDeleteDisabled());
  annotate_->setEnabled(SelectedIndices().size() == 1 || Singleton<CPlaybackManager>::Instance()->IsLoaded());
}

QString CZelVelomarView::LabelText() const { return label_->text(); }

QString CZelVelomarView::SummaryText() const {
  return calls_->text() + QLatin1Char(' ') + important_->text() + QLatin1Char(' ') + duration_->text();
}

void CZelVelomarView::HeaderClicked(int column) {
  const auto info = zel::ListColumnFromNumber(column);
  if (!info || !zel::ColumnInfo(*info).sortable) {
    // No sort key: the arrow stays on the sorted column.
    table_->horizontalHeader()->setSortIndicator(sortColumn_,
                                                 sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    table_->viewport()->update();
    return;
  }
  if (column == sortColumn_) {
    sortDescending_ = !sortDescending_;
  } else {
    sortColumn_ = column;
    sortDescending_ = false;
  }
  const std::vector<size_t> selected = SelectedIndices();
  std::vector<const CKlFileListEntry*> keep;
  for (size_t i : selected) keep.push_back(document_->EntryAt(i));
  Redisplay();
  // The same recordings stay selected after the order changed.
  if (!keep.empty() && keep.size() <= 1000) {
    std::vector<size_t> again;
    for (const CKlFileListEntry* e : keep) {
      const long i = document_->IndexOfPath(e->Path());
      if (i >= 0) again.push_back(static_cast<size_t>(i));
    }
    const QSignalBlocker block(table_->selectionModel());
    SelectIndices(again);
  }
}

void CZelVelomarView::WriteColumnWidth(int column, int size) {
  if (applyingWidths_ || column < 0 || column >= zel::kListColumnCount) return;
  auto settings = Singleton<CSettings>::Instance();
  if (settings->GetColumnWidth(column) == size) return;
  settings->SetColumnWidth(column, size);
  // A drag of the divider resizes many times: the file is written once it rests.
  widthSaver_->start();
}

bool CZelVelomarView::HasSelection() const { return table_->selectionModel()->hasSelection(); }

bool CZelVelomarView::CanPaste() const {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  return mime && mime->hasUrls() && !zel::ui::DroppedFiles(mime).empty();
}

std::vector<size_t> CZelVelomarView::SelectedIndices() const {
  std::vector<size_t> rows;
  const QItemSelection selection = table_->selectionModel()->selection();
  for (const QItemSelectionRange& range : selection) {
    for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(model_->EntryIndex(r));
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void CZelVelomarView::SelectIndices(const std::vector<size_t>& indices) {
  // Entries the filter hides are left out; neighbouring rows go in as one range.
  std::vector<int> rows;
  for (size_t i : indices) {
    const int r = i < document_->EntryCount() ? model_->RowOf(i) : -1;
    if (r >= 0) rows.push_back(r);
  }
  const int first = rows.empty() ? -1 : rows.front();
  std::sort(rows.begin(), rows.end());
  QItemSelection selection;
  const int last = zel::kListColumnCount - 1;
  for (size_t k = 0; k < rows.size();) {
    size_t end = k + 1;
    while (end < rows.size() && rows[end] <= rows[end - 1] + 1) ++end;
    selection.select(model_->index(rows[k], 0), model_->index(rows[end - 1], last));
    k = end;
  }
  table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (first >= 0) table_->selectionModel()->setCurrentIndex(model_->index(first, 0), QItemSelectionModel::NoUpdate);
}

void CZelVelomarView::SelectAll() { table_->selectAll(); }

void CZelVelomarView::SelectFirstOrStop() {
  if (document_->EntryCount() == 0) {
    if (CPlayerForm* player = host_ ? host_->Player() : nullptr) {
      player->Stop();
    } else if (Manager().IsPlaying() || Manager().IsPaused()) {
      Manager().PlayStop(false, true);
    }
    return;
  }
  if (model_->rowCount() > 0) SelectIndices({model_->EntryIndex(0)});
}

void CZelVelomarView::LoadSelectedIntoPlayer() {
  CPlayerForm* player = host_ ? host_->Player() : nullptr;
  if (!player) return;
  const std::vector<size_t> rows = SelectedIndices();
  if (rows.size() != 1) return;
  CPlaybackManager& m = Manager();
  if (m.IsPlaying()) return;
  const CKlFileListEntry* entry = document_->EntryAt(rows.front());
  if (!entry || (m.IsLoaded() && m.Recording().Path() == entry->Path())) return;
  player->OpenWithoutPlaying(entry->Path());
}

void CZelVelomarView::PlaySelected() {
  CPlayerForm* player = host_ ? host_->Player() : nullptr;
  const std::vector<size_t> rows = SelectedIndices();
  if (!player || rows.size() != 1) return;
  const CKlFileListEntry* entry = document_->EntryAt(rows.front());
  if (entry) player->OpenAndPlay(entry->Path());
}

void CZelVelomarView::OnActivated() {
  // The call the user sees selected is loaded before a refill moves the rows.
  LoadSelectedIntoPlayer();
  if (document_->GetListKind() != CZelVelomarDoc::kPlayHistory) return;
  std::vector<std::string> selected;
  for (size_t i : SelectedIndices()) selected.push_back(document_->EntryAt(i)->Path());
  document_->ClearEntries();
  Singleton<CCallHistory>::Instance()->FillDocument(*document_);
  document_->SetModified(false);
  Redisplay();
  std::vector<size_t> again;
  for (const std::string& path : selected) {
    const long i = document_->IndexOfPath(path);
    if (i >= 0) again.push_back(static_cast<size_t>(i));
  }
  const QSignalBlocker block(table_->selectionModel());
  SelectIndices(again);
  UpdateButtons();
}

// --- list commands -----------------------------------------------------------

void CZelVelomarView::Refresh() {
  if (document_->IsBuiltBySearch()) {
    if (host_) host_->RunSearch(document_->GetCriteria(), this, true);
    return;
  }
  document_->RefreshDetails(Passphrase());
  document_->SetListKind(document_->GetListKind(), document_->GetTitleText());
  Redisplay();
}

void CZelVelomarView::SearchFolders(const QStringList& folders) {
  if (folders.isEmpty()) return;
  if (CPlayerForm* player = host_ ? host_->Player() : nullptr) player->Stop();
  SearchCriteria criteria;
  for (const QString& folder : folders) criteria.folders.push_back(folder.toStdString());
  criteria.includeSubfolders = 1;
  criteria.nameMask = "*";
  criteria.callerIdMask = "*";
  criteria.dateMode = static_cast<int>(zel::DateMode::All);
  criteria.limitByLength = 0;
  if (!host_) return;
  // The calls found join this list; the play history refills itself from what was
  // played, so folders dropped there open a list of their own.
  if (document_->GetListKind() == CZelVelomarDoc::kPlayHistory)
    host_->RunSearch(criteria, nullptr, false);
  else
    host_->RunSearch(criteria, this, false);
}

void CZelVelomarView::SearchWithin() {
  if (document_->EntryCount() == 0) return;
  CSearchDlg dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string mask = dialog.Mask();
  auto found = std::make_unique<CZelVelomarDoc>();
  for (size_t i = 0; i < document_->EntryCount(); ++i) {
    const CKlFileListEntry& entry = *document_->EntryAt(i);
    if (zel::MatchesListSearch(entry, dialog.Field(), dialog.Direction(), mask)) found->AddEntry(entry);
  }
  if (found->EntryCount() == 0) return;
  found->SetListKind(CZelVelomarDoc::kCustomList, std::string());
  if (host_) host_->OpenListWindow(std::move(found));
}

void CZelVelomarView::DeleteSelected() {
  if (Singleton<CSettings>::Instance()->IsDeleteDisabled()) return;
  std::vector<size_t> rows = SelectedIndices();
  if (rows.empty()) return;
  const int count = static_cast<int>(rows.size());
  if (zel::MessageSink()->AskYesNo(Printf(zelgui::kStrDeleteQuestion, count).toStdString(),
                                   Str(zelgui::kStrAppTitle).toStdString()) != IMessageSink::Answer::Yes) {
    return;
  }
  if (workingOnFiles_.IsRunning()) return;
  // Highest first, up to an encrypted call, which stops the deleting. The player lets
  // go of its call here, where it lives; the files go to the trash beside the window.
  CRecordingEdits edits = Edits();
  std::vector<std::string> paths;
  bool refused = false;
  for (auto it = rows.rbegin(); it != rows.rend() && !refused; ++it) {
    const CKlFileListEntry* entry = document_->EntryAt(*it);
    if (!entry) continue;
    refused = entry->Encrypted();
    if (refused) break;
    // A call on legal hold is refused by the trash below; the player keeps playing it.
    if (edits.HeldByPlayer(entry->Path()) && !Singleton<CLegalHolds>::Instance()->HoldFor(entry->Path())) {
      refused = !edits.LetGo(entry->Path());
      if (refused) document_->RemoveEntryAt(*it);
    }
    if (!refused) paths.push_back(entry->Path());
  }
  // The calls on legal hold, each with its hold: they stay in the list and on disk,
  // and the others still go. Written by the work, read once it has ended.
  auto kept = std::make_shared<std::map<std::string, std::string>>();
  CRecordingEdits files(nullptr, Passphrase());
  RunOnFiles(
      std::move(paths), zelgui::kStrDeleting,
      [files, kept](const std::string& path) mutable {
        std::string refusal;
        if (files.Trash(path, &refusal)) return true;
        if (!refusal.empty()) (*kept)[path] = refusal;
        return !refusal.empty();
      },
      true, [this, refused, kept](const std::vector<std::string>& reached, const std::vector<bool>& trashed) {
        bool failed = refused;
        std::string keptText;
        for (size_t i = 0; i < reached.size(); ++i) {
          const auto hold = kept->find(reached[i]);
          if (hold != kept->end()) {
            keptText += "\n" + reached[i] + ": " + hold->second;
            continue;
          }
          if (trashed[i]) zelgui::PostNotification(zelgui::kRecordingChanged, 2, FromStd(reached[i]));
          failed = failed || !trashed[i];
          const long index = document_->IndexOfPath(reached[i]);
          if (index >= 0) document_->RemoveEntryAt(static_cast<size_t>(index));
        }
        model_->Reset();
        if (!keptText.empty()) {
          zel::ShowMessage("Calls on legal hold were kept:" + keptText, IMessageSink::Icon::Warning);
        }
        if (failed) zel::ShowMessage(Str(zelgui::kStrDeleteFailed).toStdString(), IMessageSink::Icon::Error);
        SelectFirstOrStop();
        RefreshLabels();
      });
}

void CZelVelomarView::ExportSelected() {
  if (exporting_) return;
  if (Singleton<CSettings>::Instance()->IsExportBlocked()) return;
  const std::vector<size_t> rows = SelectedIndices();
  if (rows.empty()) return;
  if (rows.size() == 1) {
    CPlayerForm* player = host_ ? host_->Player() : nullptr;
    const CKlFileListEntry* entry = document_->EntryAt(rows.front());
    if (!player || !entry) return;
    CPlaybackManager& m = Manager();
    if (!m.IsLoaded() || m.Recording().Path() != entry->Path()) {
      if (!player->OpenWithoutPlaying(entry->Path())) return;
    }
    player->MailOrExport(false, false, false);
    return;
  }
  exporting_ = true;
  UpdateButtons();
  const QString folder = exportFolderPicker ? exportFolderPicker()
                                            : QFileDialog::getExistingDirectory(this, Str(zelgui::kStrExportLocation));
  if (folder.isEmpty()) {
    exporting_ = false;
    UpdateButtons();
    return;
  }
  std::vector<std::string> paths;
  for (size_t i : rows) paths.push_back(document_->EntryAt(i)->Path());
  CRecordingEdits files(nullptr, Passphrase());
  RunOnFiles(
      std::move(paths), zelgui::kStrExporting,
      [files, folder = folder.toStdString()](const std::string& path) mutable { return files.CopyNative(path, folder); },
      false, [this](const std::vector<std::string>&, const std::vector<bool>& copied) {
        // Told once, not per file.
        if (std::find(copied.begin(), copied.end(), false) != copied.end())
          zel::ShowMessage(Str(zelgui::kStrExportFailed).toStdString(), IMessageSink::Icon::Error);
        exporting_ = false;
        UpdateButtons();
      });
}

void CZelVelomarView::RunOnFiles(std::vector<std::string> paths, int text,
                                 std::function<bool(const std::string& path)> each, bool stopAtFailure,
                                 std::function<void(const std::vector<std::string>& reached, const std::vector<bool>& ok)> finish) {
  const int count = static_cast<int>(paths.size());
  auto done = std::make_shared<std::atomic<int>>(0);
  auto stop = std::make_shared<std::atomic<bool>>(false);
  if (count > 1) {
    filesProgress_ = std::make_unique<CProgressWnd>(this, Str(zelgui::kStrTaskInProgress));
    filesProgress_->SetRange(0, count);
    const auto show = [progress = filesProgress_.get(), done, count, text] {
      const int n = done->load();
      progress->SetText(text < 0 ? QStringLiteral("Marking the calls...") : Printf(text, std::min(n + 1, count), count));
      progress->SetPos(n);
    };
    show();
    // The window repaints from the event loop; the work only counts.
    auto* poll = new QTimer(filesProgress_.get());
    connect(poll, &QTimer::timeout, filesProgress_.get(), show);
    poll->start(50);
    connect(filesProgress_.get(), &CProgressWnd::cancelRequested, this, [stop] { *stop = true; });
  }
  auto reached = std::make_shared<std::vector<std::string>>(std::move(paths));
  workingOnFiles_ = CAsyncTask::Run(
      this,
      [reached, each = std::move(each), stopAtFailure, done, stop] {
        // Cancel stops after the file at hand; what was done so far stays done.
        std::vector<bool> ok;
        for (const std::string& path : *reached) {
          if (stop->load()) break;
          ok.push_back(each(path));
          ++*done;
          if (stopAtFailure && !ok.back()) break;
        }
        return ok;
      },
      [this, reached, finish = std::move(finish)](const std::vector<bool>& ok) {
        filesProgress_.reset();
        reached->resize(ok.size());
        finish(*reached, ok);
      });
  if (filesProgress_) filesProgress_->show();
}

QMimeData* CZelVelomarView::SelectionMimeData() const {
  const std::vector<size_t> rows = SelectedIndices();
  if (rows.empty()) return nullptr;
  QList<QUrl> urls;
  QByteArray gnome("copy");
  QString text;
  for (size_t i : rows) {
    const QString path = FromStd(document_->EntryAt(i)->Path());
    const QUrl url = QUrl::fromLocalFile(path);
    urls << url;
    gnome += '\n' + url.toEncoded();
    if (!text.isEmpty()) text += QLatin1Char('\n');
    text += path;
  }
  auto* mime = new QMimeData;
  mime->setUrls(urls);
  mime->setText(text);
  // The file managers of GNOME and its relatives paste files from this list.
  mime->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
  return mime;
}

void CZelVelomarView::Copy() {
  QMimeData* mime = SelectionMimeData();
  if (mime) QApplication::clipboard()->setMimeData(mime);
}

void CZelVelomarView::Paste() {
  const std::vector<std::string> files = zel::ui::DroppedFiles(QApplication::clipboard()->mimeData());
  QStringList paths;
  for (const std::string& f : files) paths << FromStd(f);
  AddFiles(paths);
}

void CZelVelomarView::AddFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const std::string passphrase = Passphrase();
  for (const QString& path : paths) {
    auto entry = std::make_unique<CKlFileListEntry>();
    entry->SetPath(path.toStdString());
    entry->LoadDetails(passphrase);
    document_->AddEntry(entry);  // a refused entry is freed here
  }
  document_->SetListKind(CZelVelomarDoc::kCustomList, document_->GetTitleText());
  document_->SetBuiltBySearch(false);
  Redisplay();
}

void CZelVelomarView::Remove() {
  std::vector<size_t> rows = SelectedIndices();
  if (rows.empty()) return;
  document_->RemoveEntriesAt(rows);
  model_->Reset();
  RefreshLabels();
}

void CZelVelomarView::Trim() {
  const std::vector<size_t> rows = SelectedIndices();
  if (rows.empty()) return;
  document_->TrimToEntries(rows);
  model_->Reset();
  SelectAll();
  RefreshLabels();
}

void CZelVelomarView::MarkImportant(bool mark) {
  const std::vector<size_t> rows = SelectedIndices();
  if (rows.empty()) return;
  CRecordingEdits edits = Edits();
  if (rows.size() == 1) {
    const std::string path = document_->EntryAt(rows.front())->Path();
    // A single call is shown in the player as it changes.
    CPlayerForm* player = host_ ? host_->Player() : nullptr;
    if (player && !edits.HeldByPlayer(path)) player->OpenWithoutPlaying(path);
    if (!edits.SetImportant(path, mark)) {
      zel::ShowMessage("Could not write the important mark into " + path, IMessageSink::Icon::Error);
      return;
    }
    EntryImportantChanged(rows.front(), mark);
    UpdateSummary();
    return;
  }
  if (workingOnFiles_.IsRunning()) return;
  // The player's copy of its call is changed here, where the player lives; the other
  // files are written beside the window, which follows once all are done.
  std::vector<std::string> paths;
  for (size_t index : rows) {
    const std::string& path = document_->EntryAt(index)->Path();
    if (!edits.HeldByPlayer(path))
      paths.push_back(path);
    else if (edits.SetImportant(path, mark))
      EntryImportantChanged(index, mark);
  }
  UpdateSummary();
  CRecordingEdits files(nullptr, Passphrase());
  RunOnFiles(
      std::move(paths), -1, [files, mark](const std::string& path) mutable { return files.SetImportant(path, mark); },
      false, [this, mark](const std::vector<std::string>& reached, const std::vector<bool>& changed) {
        for (size_t i = 0; i < reached.size(); ++i) {
          const long index = changed[i] ? document_->IndexOfPath(reached[i]) : -1;
          if (index >= 0) EntryImportantChanged(static_cast<size_t>(index), mark);
        }
        UpdateSummary();
      });
}

void CZelVelomarView::EntryImportantChanged(size_t index, bool mark) {
  CKlFileListEntry* entry = document_->EntryAt(index);
  if (!entry) return;
  document_->AdjustImportant(index, mark);
  entry->SetImportant(mark ? 1 : 0);
  model_->RowChanged(static_cast<int>(index));
  zelgui::PostNotification(zelgui::kRecordingChanged, mark ? 0 : 1, FromStd(entry->Path()));
}

void CZelVelomarView::Annotate() {
  // The dialog edits the recording the player holds; a single selection is loaded
  // into it first unless another call is playing.
  CPlaybackManager& m = Manager();
  CPlayerForm* player = host_ ? host_->Player() : nullptr;
  const std::vector<size_t> rows = SelectedIndices();
  if (rows.size() == 1 && !m.IsPlaying()) {
    const std::string& selected = document_->EntryAt(rows.front())->Path();
    if (!m.IsLoaded() || m.Recording().Path() != selected) {
      const bool loaded = player ? player->OpenWithoutPlaying(selected) : m.Load(selected);
      if (!loaded) return;
    }
  }
  if (!m.IsLoaded()) return;
  const std::string path = m.Recording().Path();
  CAnnotateDlg dialog(this);
  dialog.SetComment(FromStd(m.Recording().GetComment()));
  if (dialog.exec() != QDialog::Accepted) return;
  // The recording may have been closed while the dialog was open.
  if (!m.IsLoaded() || m.Recording().Path() != path) return;
  const std::optional<std::string> stored = Edits().SetComment(path, dialog.Comment().toStdString());
  if (!stored) {
    zel::ShowMessage("Could not write the comment into " + path, IMessageSink::Icon::Error);
    return;
  }
  SetEntryComment(path, *stored);
  // Other lists showing the call follow.
  zelgui::PostNotification(zelgui::kCommentChanged, 0, FromStd(path), {FromStd(*stored)});
}

void CZelVelomarView::SetEntryComment(const std::string& path, const std::string& comment) {
  const long index = document_->IndexOfPath(path);
  if (index < 0) return;
  document_->EntryAt(static_cast<size_t>(index))->SetCommentText(comment);
  model_->RowChanged(static_cast<int>(index));
}

// --- notifications ------------------------------------------------------------

void CZelVelomarView::SetEntryImportant(const std::string& path, bool important) {
  const long index = document_->IndexOfPath(path);
  if (index < 0) return;
  document_->AdjustImportant(static_cast<size_t>(index), important);
  document_->EntryAt(static_cast<size_t>(index))->SetImportant(important ? 1 : 0);
  model_->RowChanged(static_cast<int>(index));
  UpdateSummary();
}

void CZelVelomarView::RemoveEntryByPath(const std::string& path) {
  const long index = document_->IndexOfPath(path);
  if (index < 0) return;
  document_->RemoveEntryAt(static_cast<size_t>(index));
  model_->Reset();
  SelectFirstOrStop();
  RefreshLabels();
}

void CZelVelomarView::UpdateBookmark(const std::string& path, int startSeconds, int endSeconds) {
  const long index = document_->IndexOfPath(path);
  if (index < 0) return;
  document_->EntryAt(static_cast<size_t>(index))->ApplyBookmarkEdit(Passphrase(), startSeconds, endSeconds);
  // The bookmark line sits in front of the comment: the comment column follows it.
  CPlaybackManager& m = Manager();
  if (m.IsLoaded() && m.Recording().Path() == path)
    document_->EntryAt(static_cast<size_t>(index))->SetCommentText(m.Recording().GetComment());
  model_->RowChanged(static_cast<int>(index));
}

// --- list files ---------------------------------------------------------------

bool CZelVelomarView::QueryClose() {
  if (document_->GetListKind() == CZelVelomarDoc::kPlayHistory) {
    Singleton<CCallHistory>::Instance()->SaveHistory();
    return true;
  }
  if (!document_->IsModified()) return true;
  QString name = FromStd(document_->PathName());
  if (name.isEmpty()) {
    name = FromStd(document_->WindowTitle());
    const qsizetype star = name.lastIndexOf(QLatin1Char('*'));
    if (star >= 0) name.truncate(star);
    if (name.isEmpty()) name = QStringLiteral("Untitled");
  }
  QMessageBox box(QMessageBox::Warning, Str(zelgui::kStrAppTitle), Str(zelgui::kStrCloseListQuestion).arg(name),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Yes);
  const int answer = box.exec();
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::No) return true;
  return Save();
}

bool CZelVelomarView::Save() {
  if (document_->PathName().empty()) return SaveAs();
  return SaveTo(FromStd(document_->PathName()));
}

bool CZelVelomarView::SaveAs() {
  QString suggested = FromStd(document_->PathName());
  if (suggested.isEmpty()) {
    QString title = FromStd(document_->WindowTitle()).remove(QLatin1Char('*'));
    suggested = QDir(FromStd(zel::DocumentsFolder())).filePath(title + QStringLiteral(".reclist"));
  }
  QString path = saveFilePicker ? saveFilePicker()
                                : QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), suggested,
                                                               QString::fromLatin1(kListFilter));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".reclist");
  return SaveTo(path);
}

bool CZelVelomarView::SaveTo(const QString& path) {
  const bool wasModified = document_->IsModified();
  const std::string target = path.toStdString();
  std::unique_ptr<CProgressWnd> progress;
  if (document_->EntryCount() > 5000) {
    progress = std::make_unique<CProgressWnd>(window(), Str(zelgui::kStrTaskInProgress));
    progress->SetRange(0, static_cast<int>(document_->EntryCount()));
    progress->show();
  }
  const bool ok = document_->SaveList(target, [&](size_t i, size_t) {
    if (progress && i % 2000 == 0) {
      // Painted at once rather than through a nested event loop: the save is short,
      // and nothing else may run while the list is being written out.
      progress->SetPos(static_cast<int>(i));
      progress->repaint();
    }
  });
  if (progress) progress->close();
  if (!ok) {
    document_->SetModified(wasModified);
    zel::ShowMessage("Could not save the list to " + target + ".", IMessageSink::Icon::Error);
    return false;
  }
  // A list of kind 1 is named after its file from now on.
  document_->SetListKind(document_->GetListKind(), document_->GetTitleText());
  RefreshLabels();
  return true;
}

bool CZelVelomarView::Append() {
  const QString path = openFilePicker ? openFilePicker()
                                      : QFileDialog::getOpenFileName(this, QStringLiteral("Append"), QString(),
                                                                     QString::fromLatin1(kAppendFilter));
  if (path.isEmpty()) return false;
  if (!document_->AppendListFile(path.toStdString(), Passphrase())) return false;
  document_->SetListKind(CZelVelomarDoc::kCustomList, document_->GetTitleText());
  document_->SetModified(true);
  Redisplay();
  return true;
}

// --- context menu ---------------------------------------------------------------

void CZelVelomarView::BuildContextMenu() {
  menu_ = new QMenu(this);
  auto add = [this](const QString& text, QKeySequence key, auto slot) {
    QAction* action = menu_->addAction(text, this, slot);
    action->setShortcut(key);
    action->setShortcutVisibleInContextMenu(true);
    // Shown in the menu only: the main window's menus own the keys.
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
  };
  add(QStringLiteral("&Copy"), QKeySequence::Copy, [this] { Copy(); });
  add(QStringLiteral("&Paste"), QKeySequence::Paste, [this] { Paste(); })->setObjectName(QStringLiteral("paste"));
  add(QStringLiteral("&Remove"), QKeySequence(), [this] { Remove(); });
  add(QStringLiteral("&Trim"), QKeySequence(), [this] { Trim(); });
  add(QStringLiteral("Select &All"), QKeySequence::SelectAll, [this] { SelectAll(); });
  menu_->addSeparator();
  add(QStringLiteral("&Mark Important"), QKeySequence(), [this] { MarkImportant(true); });
  add(QStringLiteral("&Un-Mark Important"), QKeySequence(), [this] { MarkImportant(false); });
  add(QStringLiteral("A&nnotate the call..."), QKeySequence(), [this] { Annotate(); });
  menu_->addSeparator();
  add(QStringLiteral("&Delete Recordings"), QKeySequence(), [this] { DeleteSelected(); })
      ->setObjectName(QStringLiteral("delete"));
  menu_->addSeparator();
  add(QStringLiteral("Place on &Legal Hold..."), QKeySequence(), [this] { ChangeHold(true); });
  add(QStringLiteral("Release &Hold..."), QKeySequence(), [this] { ChangeHold(false); });
}

void CZelVelomarView::ChangeHold(bool place) {
  std::vector<CLegalHoldDlg::Call> calls;
  for (size_t i : SelectedIndices()) {
    if (const CKlFileListEntry* entry = document_->EntryAt(i)) {
      calls.push_back({entry->Path(), entry->Encrypted() ? std::string() : std::string(entry->CallerIdText())});
    }
  }
  if (calls.empty()) return;
  if (place ? CLegalHoldDlg::Place(this, calls) : CLegalHoldDlg::Release(this, calls)) model_->HoldsChanged();
}

void CZelVelomarView::UpdateContextMenu() {
  const bool selected = HasSelection();
  const QList<QAction*> actions = menu_->actions();
  for (QAction* action : actions) {
    if (action->isSeparator()) continue;
    if (action->objectName() == QLatin1String("paste"))
      action->setEnabled(CanPaste());
    else if (action->objectName() == QLatin1String("delete"))
      action->setEnabled(selected && !Singleton<CSettings>::Instance()->IsDeleteDisabled());
    else if (!action->text().startsWith(QLatin1String("Select")))
      action->setEnabled(selected);
  }
}

void CZelVelomarView::ShowContextMenu(const QPoint& pos) {
  UpdateContextMenu();
  menu_->popup(table_->viewport()->mapToGlobal(pos));
}
