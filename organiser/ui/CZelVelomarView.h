#pragma once
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/ui/CAsyncTask.h"

class CProgressWnd;
class CRecordingEdits;
class CRecordingListModel;
class CRecordingListTable;
class CZelVelomarDoc;
class IListWindowHost;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPushButton;
class QTimer;

// One recording list window: the title label, the list of the document's entries
// (a table over a model that reads them on demand), the summary line and the list's
// commands. The main window puts it into an MDI sub-window and routes the menu
// commands and the notifications of other windows to it.
class CZelVelomarView : public QWidget {
  Q_OBJECT
 public:
  CZelVelomarView(std::unique_ptr<CZelVelomarDoc> document, IListWindowHost* host, QWidget* parent = nullptr);
  ~CZelVelomarView() override;

  CZelVelomarDoc& Document() const;

  // After the document changed from outside (search results taken, list appended):
  // sorts with the view's settings, redisplays, refreshes labels, summary and title.
  void Redisplay();
  // The label above the list, the summary line and the window title.
  void RefreshLabels();

  // The close question for a modified list (Yes saves, asking for a name when the
  // list has none); a Play History list saves the history silently. True when the
  // window may close.
  bool QueryClose();
  bool Save();
  bool SaveAs();
  // Asks for a list file and appends it to this list; false when cancelled or failed.
  bool Append();

  // The list's commands.
  void Refresh();
  void SearchWithin();
  void DeleteSelected();
  void ExportSelected();
  void Copy();
  void Paste();
  void Remove();
  void Trim();
  void SelectAll();
  void MarkImportant(bool mark);
  // Delete, export and mark important write their files beside the window; true until
  // the list shows the outcome.
  bool WorkingOnFiles() const { return workingOnFiles_.IsRunning(); }
  void Annotate();
  // "Place on Legal Hold..." (`place`) or "Release Hold..." for the selected calls.
  void ChangeHold(bool place);

  bool HasSelection() const;
  bool CanPaste() const;
  std::vector<size_t> SelectedIndices() const;

  // Notifications from other windows about a recording's file.
  void SetEntryImportant(const std::string& path, bool important);
  // The comment of the call at `path` was changed (in this or another list).
  void SetEntryComment(const std::string& path, const std::string& comment);
  void RemoveEntryByPath(const std::string& path);
  void UpdateBookmark(const std::string& path, int startSeconds, int endSeconds);

  // The window became the active list window.
  void OnActivated();

 signals:
  void selectionChanged();
  void titleChanged(const QString& title);

 public:
  // The view's sort settings (a list column and its direction).
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return sortDescending_; }
  // A header click: toggles the direction on the sorted column, else sorts the new
  // column ascending; the encryption column only redraws.
  void HeaderClicked(int column);
  // Adds the files at `paths` as a paste does (the list becomes a custom list).
  void AddFiles(const QStringList& paths);
  // Searches `folders` into this list (a drop of folders).
  void SearchFolders(const QStringList& folders);
  // Plays the single selected recording (double-click, Enter).
  void PlaySelected();
  // The selected recordings' files for the clipboard or a drag.
  QMimeData* SelectionMimeData() const;
  // Selects the rows at `indices` (replacing the selection) and makes the first current.
  void SelectIndices(const std::vector<size_t>& indices);
  CRecordingListTable* Table() const { return table_; }
  // The filter above the table: typing narrows the rows shown, Esc clears it.
  QLineEdit* FilterField() const { return filter_; }
  // The list's context menu, its items enabled for the current selection and settings.
  QMenu* ContextMenu() {
    UpdateContextMenu();
    return menu_;
  }
  QString LabelText() const;
  QString SummaryText() const;
  // Picks a folder for a multi-file export; tests replace it.
  std::function<QString()> exportFolderPicker;
  // Picks the list file to save to (empty when cancelled) or to append; tests replace them.
  std::function<QString()> saveFilePicker;
  std::function<QString()> openFilePicker;

 private:
  void BuildContextMenu();
  void ShowContextMenu(const QPoint& pos);
  void UpdateContextMenu();
  void UpdateSummary();
  void ApplyFilter(const QString& text);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void UpdateButtons();
  void SelectFirstOrStop();
  void LoadSelectedIntoPlayer();
  void WriteColumnWidth(int column, int size);
  bool SaveTo(const QString& path);
  std::string Passphrase() const;
  // The recording edits of this window, through the player when there is one.
  CRecordingEdits Edits() const;
  // Runs `each` (off the GUI thread: it must own what it reads) on every one of
  // `paths` in turn; for more than one, a progress window says `text` (a string id of
  // "%d of %d", or -1 for the important marks). Cancel, or a failure when
  // `stopAtFailure`, ends the run after the file at hand; `finish` hears the paths
  // reached and each one's outcome.
  void RunOnFiles(std::vector<std::string> paths, int text, std::function<bool(const std::string& path)> each,
                  bool stopAtFailure,
                  std::function<void(const std::vector<std::string>& reached, const std::vector<bool>& ok)> finish);
  // The entry at `index` was marked (or un-marked) important in its file.
  void EntryImportantChanged(size_t index, bool mark);

  std::unique_ptr<CZelVelomarDoc> document_;
  IListWindowHost* host_;
  CRecordingListModel* model_;
  CRecordingListTable* table_;
  QLineEdit* filter_;
  QLabel* label_;
  QLabel* calls_;
  QLabel* important_;
  QLabel* duration_;
  QPushButton* refresh_;
  QPushButton* search_;
  QPushButton* export_;
  QPushButton* delete_;
  QPushButton* annotate_;
  QPushButton* archive_;
  QMenu* menu_ = nullptr;
  QTimer* widthSaver_ = nullptr;
  int sortColumn_ = 5;
  bool sortDescending_ = true;
  bool exporting_ = false;
  CAsyncTask workingOnFiles_;  // see RunOnFiles
  std::unique_ptr<CProgressWnd> filesProgress_;
  bool applyingWidths_ = false;
};
