#pragma once
#include <QDockWidget>
#include <string>
#include <vector>

class CFolderTree;
class CHotLists;
class CHotListsTree;
class CShortCutTree;
class CShortCuts;
class IAccessPanelHost;
class QTimer;
class QToolBox;

// The "Access Panel" that the main window docks: "My Shortcuts", "My Calls for
// Review" and "My Explorer" in a tool box. Edits of the two collections are
// saved shortly after they happen (and when the panel goes), so a crash loses
// nothing; the main window's refresh notifications rebuild the trees.
class CAccessPanel : public QDockWidget {
  Q_OBJECT
 public:
  explicit CAccessPanel(QWidget* parent = nullptr);
  CAccessPanel(CShortCuts& shortcuts, CHotLists& hotLists, QWidget* parent = nullptr);
  ~CAccessPanel() override;

  void SetHost(IAccessPanelHost* host);

  void RefreshShortcuts();
  void RefreshCallsForReview();
  // Writes the changed collections now.
  void SaveNow();

  // How long after an edit the collections are written.
  static constexpr int kSaveDelayMs = 1000;

  QToolBox* ToolBox() const { return toolBox_; }
  CShortCutTree* Shortcuts() const { return shortcutTree_; }
  CHotListsTree* CallsForReview() const { return hotListsTree_; }
  CFolderTree* Explorer() const { return folderTree_; }

 protected:
  bool event(QEvent* event) override;

 private:
  void PostListForFolders(const std::vector<std::string>& folders);
  void ScheduleSave(bool shortcuts, bool hotLists);

  CShortCuts& shortcuts_;
  CHotLists& hotLists_;
  QToolBox* toolBox_;
  CShortCutTree* shortcutTree_;
  CHotListsTree* hotListsTree_;
  CFolderTree* folderTree_;
  QTimer* saveTimer_;
  bool shortcutsDirty_ = false;
  bool hotListsDirty_ = false;
};
