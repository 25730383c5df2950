#pragma once
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QSocketNotifier;
class QThread;

// Keeps the catalogue of recordings fresh while the program runs, so that the
// next search finds new calls already read: the folders the catalogue holds are
// watched (inotify, within the user's limit), and a folder that changed is
// refreshed in the background once it has been quiet for a moment. What the
// watch reports is passed on to the catalogue (CWatchedFolders), so that a search
// need not look at every file of a folder in which nothing changed. Every few
// minutes all searched folders are refreshed as well, which covers shares, where
// nothing is told of changes made by other machines.
class CCatalogueWatcher : public QObject {
  Q_OBJECT
 public:
  explicit CCatalogueWatcher(QObject* parent = nullptr, int pollSeconds = 300);
  ~CCatalogueWatcher() override;

  // Watches what the catalogue holds now (after a search added to it); folders
  // watched already stay watched without a gap.
  void Rewatch();

 signals:
  // A background refresh has ended.
  void Refreshed();

 private:
  void ReadEvents();
  void Drop(int watch);
  void Queue(const QString& folder);
  void RunPending(bool everything);

  int inotify_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  QHash<int, QString> folders_;  // by watch descriptor
  QTimer settle_;
  QTimer poll_;
  QStringList pending_;
  QThread* thread_ = nullptr;
};
