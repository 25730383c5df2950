#include "organiser/ui/CCatalogueWatcher.h"

#include <QThread>

#include "organiser/CRecordingCatalogue.h"

CCatalogueWatcher::CCatalogueWatcher(QObject* parent, int pollSeconds) : QObject(parent) {
  // Calls being saved change a folder many times in a row: one refresh for them all.
  settle_.setSingleShot(true);
  settle_.setInterval(1000);
  connect(&settle_, &QTimer::timeout, this, [this] { RunPending(false); });
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &CCatalogueWatcher::Queue);
  poll_.setInterval(pollSeconds * 1000);
  connect(&poll_, &QTimer::timeout, this, [this] { RunPending(true); });
  poll_.start();
}

CCatalogueWatcher::~CCatalogueWatcher() {
  if (thread_) thread_->wait();
}

void CCatalogueWatcher::Rewatch() {
  const QStringList watched = watcher_.directories();
  if (!watched.isEmpty()) watcher_.removePaths(watched);
  QStringList folders;
  for (const std::string& folder : CRecordingCatalogue().WatchableFolders()) folders << QString::fromStdString(folder);
  if (!folders.isEmpty()) watcher_.addPaths(folders);
}

void CCatalogueWatcher::Queue(const QString& folder) {
  if (!pending_.contains(folder)) pending_ << folder;
  settle_.start();
}

void CCatalogueWatcher::RunPending(bool everything) {
  if (thread_) {  // one refresh at a time; what came meanwhile follows it
    settle_.start();
    return;
  }
  std::vector<std::string> folders;
  for (const QString& folder : pending_) folders.push_back(folder.toStdString());
  pending_.clear();
  if (folders.empty() && !everything) return;
  thread_ = QThread::create([folders, everything] {
    CRecordingCatalogue catalogue;
    if (everything) catalogue.RefreshAll();
    for (const std::string& folder : folders) catalogue.Refresh(folder, false);
  });
  connect(thread_, &QThread::finished, this, [this] {
    thread_->deleteLater();
    thread_ = nullptr;
    Rewatch();  // new folders are watched too
    emit Refreshed();
  });
  thread_->start(QThread::LowPriority);
}
