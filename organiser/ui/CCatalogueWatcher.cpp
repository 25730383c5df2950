#include "organiser/ui/CCatalogueWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSet>
#include <QSocketNotifier>
#include <QThread>

#include "organiser/CRecordingCatalogue.h"
#include "organiser/CWatchedFolders.h"

namespace {
// Files written in place too: a folder watch of QFileSystemWatcher leaves those out.
constexpr uint32_t kEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE |
                             IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
}  // namespace

CCatalogueWatcher::CCatalogueWatcher(QObject* parent, int pollSeconds) : QObject(parent) {
  // Calls being saved change a folder many times in a row: one refresh for them all.
  settle_.setSingleShot(true);
  settle_.setInterval(1000);
  connect(&settle_, &QTimer::timeout, this, [this] { RunPending(false); });
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ >= 0) {
    notifier_ = new QSocketNotifier(inotify_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CCatalogueWatcher::ReadEvents);
  }
  poll_.setInterval(pollSeconds * 1000);
  connect(&poll_, &QTimer::timeout, this, [this] { RunPending(true); });
  poll_.start();
}

CCatalogueWatcher::~CCatalogueWatcher() {
  if (thread_) thread_->wait();
  for (const QString& folder : folders_) CWatchedFolders::Process().Unwatch(folder.toStdString());
  delete notifier_;
  if (inotify_ >= 0) ::close(inotify_);
}

void CCatalogueWatcher::Rewatch() {
  if (inotify_ < 0) return;
  QSet<int> kept;
  for (const std::string& folder : CRecordingCatalogue().WatchableFolders()) {
    // Adding a watch again returns the one in place: no gap in what it tells.
    const int watch = inotify_add_watch(inotify_, folder.c_str(), kEvents);
    if (watch < 0) continue;  // over the user's limit: the catalogue looks at its files
    kept.insert(watch);
    const QString name = QString::fromStdString(folder);
    if (folders_.value(watch) == name) continue;
    // Another folder now at this path: what its old watch vouched for is void.
    if (const int old = folders_.key(name, -1); old >= 0) {
      inotify_rm_watch(inotify_, old);
      Drop(old);
    }
    if (folders_.contains(watch)) CWatchedFolders::Process().Unwatch(folders_.value(watch).toStdString());
    folders_.insert(watch, name);
    CWatchedFolders::Process().Watch(folder);
  }
  for (const int watch : folders_.keys()) {
    if (kept.contains(watch)) continue;
    inotify_rm_watch(inotify_, watch);
    Drop(watch);
  }
}

void CCatalogueWatcher::ReadEvents() {
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t size = ::read(inotify_, buffer, sizeof buffer);
    if (size <= 0) return;
    for (const char* p = buffer; p < buffer + size;) {
      const auto* event = reinterpret_cast<const inotify_event*>(p);
      p += sizeof(inotify_event) + event->len;
      if (event->mask & IN_Q_OVERFLOW) {
        // Events were lost: nothing watched can be vouched for until looked at again.
        CWatchedFolders::Process().AllChanged();
        for (const QString& folder : folders_) Queue(folder);
        continue;
      }
      const QString folder = folders_.value(event->wd);
      if (folder.isEmpty()) continue;
      // A file written in place is named; the folder's own change is not.
      const bool named = event->len > 0 && !(event->mask & IN_ISDIR);
      CWatchedFolders::Process().Changed(folder.toStdString(), named ? std::string(event->name) : std::string());
      if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
        // The watch no longer tells of what is at this path, nor do those of the
        // folders below it (a watch follows its folder when it is moved).
        for (const int watch : folders_.keys()) {
          const QString& path = folders_.value(watch);
          if (watch != event->wd && !path.startsWith(folder + QLatin1Char('/'))) continue;
          if (watch != event->wd || !(event->mask & IN_IGNORED)) inotify_rm_watch(inotify_, watch);
          Drop(watch);
        }
        continue;
      }
      Queue(folder);
    }
  }
}

void CCatalogueWatcher::Drop(int watch) {
  const QString folder = folders_.take(watch);
  if (!folder.isEmpty()) CWatchedFolders::Process().Unwatch(folder.toStdString());
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
