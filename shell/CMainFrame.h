#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

#include "audio/ui/IPlayerHost.h"
#include "organiser/SearchCriteria.h"
#include "organiser/ui/IAccessPanelHost.h"
#include "organiser/ui/CSearchFlow.h"
#include "organiser/ui/IListWindowHost.h"

class CAccessPanel;
class CArchiveCommands;
class CAuditTrailDlg;
class CPlayerBar;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QtWaveNotifyReceiver;

// The main window: the list windows in an MDI area, the Access Panel and the Player
// Panel docked beside them, the two menu sets (without and with a list window), the
// search flow (CSearchFlow, owned here) that turns criteria into a list window, and
// the relay of the notifications of other windows to every open list.
class CMainFrame : public QMainWindow, public IListWindowHost, public IAccessPanelHost, public IPlayerHost {
  Q_OBJECT
 public:
  enum CommandId : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_MRU_FIRST = 57616,
    ID_CREATE = 32771,
    ID_APPEND = 32794,
    ID_EDIT_COPY = 57634,
    ID_EDIT_PASTE = 57637,
    ID_REMOVE = 32775,
    ID_TRIM = 32776,
    ID_SHOW_HISTORY = 32807,
    ID_HISTORY_ON_STARTUP = 32781,
    ID_VIEW_ACCESS_PANEL = 59392,
    ID_VIEW_PLAYER_PANEL = 32788,
    ID_ENCRYPTION = 32892,
    ID_AUDIT_TRAIL = 32950,
    ID_ARCHIVE_SETTINGS = 32869,
    ID_ARCHIVE_LOGS = 32871,
    ID_ARCHIVE_RUN_NOW = 32881,
    ID_HELP_FINDER = 57670,
    ID_HELP_ARCHIVER = 32902,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
  };
  using SearchOrigin = CSearchFlow::Origin;
  static constexpr int kRecentFiles = 4;
  static constexpr int kSearchTickMs = CSearchFlow::kTickMs;

  explicit CMainFrame(QWidget* parent = nullptr);
  ~CMainFrame() override;

  // IListWindowHost
  CPlayerForm* Player() override;
  CZelVelomarView* OpenListWindow(std::unique_ptr<CZelVelomarDoc> document) override;
  void RunSearch(const SearchCriteria& criteria, CZelVelomarView* target, bool replace) override;
  void ArchiveList(CZelVelomarView* list) override;
  CArchiveCommands* ArchiveCommands() const { return archive_; }
  // IAccessPanelHost
  bool PlayRecording(const std::string& path) override;
  void OpenRecordingList(const std::vector<std::string>& paths) override;
  // IPlayerHost
  bool PickReviewGroup(QWidget* parent, int& groupId) override;
  bool EditHistory(QWidget* parent, std::vector<std::string>& history, std::string& play) override;

  // The action of a command id; null for an unknown id.
  QAction* Command(int id) const;
  // The menus in the menu bar now: the set without (false) or with a list window.
  bool ListMenusShown() const { return listMenusShown_; }
  QMdiArea* MdiArea() const { return mdi_; }
  CAccessPanel* AccessPanel() const { return accessPanel_; }
  CPlayerBar* PlayerBar() const { return playerBar_; }
  CZelVelomarView* ActiveView() const;
  std::vector<CZelVelomarView*> Views() const;
  CProgressWnd* SearchProgress() const;
  bool SearchRunning() const;
  QStringList RecentFiles() const;

  // The commands.
  void OnFileNew();
  void OnFileOpen();
  bool OpenListFile(const QString& path);
  void OnCreate(const std::vector<std::string>& folders = {}, SearchOrigin origin = SearchOrigin::Create);
  void OnShowHistory();
  void OnEncryption();
  void OnAuditTrail();
  void OnHelpFinder();
  void OnHelpArchiver();
  // Starts the search flow for `criteria`; the results go into `target`, or into a
  // new list window when it is null. A search into a list replaces its entries, or
  // with `replace` false adds to them.
  void StartSearch(const SearchCriteria& criteria, SearchOrigin origin, CZelVelomarView* target,
                   bool replace = true);
  // Shows the restored, raised and active window (or the dialog open over it).
  void BringToFront();
  // Opens what the program was given to open: list files as list windows, a recording
  // in the player (several as a list), folders as one list of their recordings. Names
  // that cannot be opened are listed in one message.
  void OpenFiles(const QStringList& names);
  // Enabling and check marks of the commands for the current state.
  void UpdateCommands();

  // The path of a manual beside the program.
  static QString ProgramFolderFile(const QString& fileName);

 protected:
  void customEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QAction* AddCommand(int id, const QString& text, const QKeySequence& key = QKeySequence());
  void BuildCommands();
  void BuildMenus();
  void ShowMenuSet(bool withList);
  void OnSubWindowActivated(QMdiSubWindow* window);
  void SetTabbed(bool tabbed);

  void UpdateTitle();
  void AddRecentFile(const QString& path);
  void UpdateRecentMenu();
  void OpenManual(const QString& path, const QString& question);
  CZelVelomarView* ViewOf(QMdiSubWindow* window) const;

  QMdiArea* mdi_;
  CAccessPanel* accessPanel_;
  QPointer<CAuditTrailDlg> auditTrail_;  // open while shown
  CPlayerBar* playerBar_;
  std::map<int, QAction*> commands_;
  std::vector<QMenu*> plainMenus_;
  std::vector<QMenu*> listMenus_;
  QMenu* recentMenuPlain_ = nullptr;
  QMenu* recentMenuList_ = nullptr;
  std::vector<QAction*> recentActions_;
  QAction* tabbedAction_ = nullptr;
  QAction* wizardAction_ = nullptr;
  CArchiveCommands* archive_ = nullptr;
  // The sound device's notices reach the playback manager through this receiver on the
  // GUI thread (Qt hands customEvent() only types from QEvent::User up).
  QtWaveNotifyReceiver* waveReceiver_ = nullptr;
  bool listMenusShown_ = false;
  bool closing_ = false;

  std::unique_ptr<CSearchFlow> search_;
};
