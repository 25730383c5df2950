#pragma once
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class CZelVelomarDoc;
class IListWindowHost;

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
  void Annotate();

  bool HasSelection() const;
  bool CanPaste() const;
  std::vector<size_t> SelectedIndices() const;

  // Notifications from other windows about a recording's file.
  void SetEntryImportant(const std::string& path, bool important);
  void RemoveEntryByPath(const std::string& path);
  void UpdateBookmark(const std::string& path, int startSeconds, int endSeconds);

  // The window became the active list window.
  void OnActivated();

 signals:
  void selectionChanged();
  void titleChanged(const QString& title);
};
