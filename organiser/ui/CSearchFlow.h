#pragma once
#include <QObject>
#include <QPointer>
#include <memory>

#include "organiser/SearchCriteria.h"
#include "toolkit/ui/CAsyncTask.h"
#include "toolkit/ui/CProgressWnd.h"

class CCatalogueWatcher;
class CZelVelomarDoc;
class CZelVelomarView;
class IListWindowHost;
class QTimer;
class QWidget;

// The search that turns criteria into a list: the counting pass beside the GUI thread,
// the progress window polled while the manager walks the folders, and the results taken
// into a list window (a new one, filled beside the GUI thread before it opens). One
// search at a time.
class CSearchFlow : public QObject {
  Q_OBJECT
 public:
  // Which request started a search: the messages differ on a failed start.
  enum class Origin { Create, CreateForFolders, RunSearch };
  // How often the search's counters are polled.
  static constexpr int kTickMs = 250;

  // `window` parents the progress window and the messages; `host` opens new list
  // windows. Both must outlive the flow.
  CSearchFlow(QWidget* window, IListWindowHost* host);
  // Stops the walk and waits for work still running beside the GUI thread.
  ~CSearchFlow() override;

  // Starts a search for `criteria` unless one runs; the results go into `target`, or
  // into a new list window when it is null. A search into a list replaces its entries,
  // or with `replace` false adds to them.
  void Start(const SearchCriteria& criteria, Origin origin, CZelVelomarView* target, bool replace = true);
  // Stops the search; a counting pass or a taking of results still running ends first.
  void Cancel();
  bool Running() const;
  CProgressWnd* Progress() const { return progress_; }

 signals:
  // A search started or ended: the commands that depend on it change.
  void RunningChanged();

 private:
  void AfterPrepare();
  void OnTick();
  void End();
  void TakeResults();
  void ShowTakenResults(CZelVelomarView* view, bool added);

  QWidget* window_;
  IListWindowHost* host_;
  QPointer<CProgressWnd> progress_;
  QTimer* timer_;
  CAsyncTask prepare_;
  // Taking many results checks every file: a new list is filled beside the GUI
  // thread before its window opens.
  CAsyncTask take_;
  Origin origin_ = Origin::Create;
  QPointer<CZelVelomarView> target_;
  bool toNewWindow_ = false;
  bool cancelled_ = false;
  // Reads new calls into the catalogue of recordings between searches.
  CCatalogueWatcher* watcher_;
};
