#pragma once
// The private notifications between windows, posted as QEvents with these type numbers
// to the window the main frame registers. An event owns what it carries; the receiver
// deletes the event (Qt does after delivery), which frees the carried copy.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace zelgui {

enum Notification : int {
  kCreateListForFolders = 0xA041,  // QStringList of folders
  kRecordingChanged = 0xA042,      // param 0 marked, 1 unmarked, 2 deleted; path
  kBookmarkChanged = 0xA043,       // param (end << 16) | start seconds, -1 removed; path
  kReviewTreeChanged = 0xA044,     // param 0, no path
  kShortcutTreeChanged = 0xA045,
  kRepeatSearch = 0xA047,
  kCommentChanged = 0xA048,  // the new comment in paths[0]; path
};

class NotificationEvent : public QEvent {
 public:
  NotificationEvent(Notification type, long long param, QString path = QString(),
                    QStringList paths = QStringList())
      : QEvent(static_cast<QEvent::Type>(type)), param_(param), path_(std::move(path)),
        paths_(std::move(paths)) {}
  long long Param() const { return param_; }
  const QString& Path() const { return path_; }
  const QStringList& Paths() const { return paths_; }

 private:
  long long param_;
  QString path_;
  QStringList paths_;
};

// The receiver of the notifications. The main frame registers itself; without one,
// notifications are dropped (nothing else listens).
inline QPointer<QObject>& NotificationTarget() {
  static QPointer<QObject> target;
  return target;
}
inline void SetNotificationTarget(QObject* target) { NotificationTarget() = target; }

// Posts a notification; returns false when no receiver is registered.
inline bool PostNotification(Notification type, long long param, QString path = QString(),
                             QStringList paths = QStringList()) {
  QObject* target = NotificationTarget();
  if (!target) return false;
  QCoreApplication::postEvent(target, new NotificationEvent(type, param, std::move(path), std::move(paths)));
  return true;
}

}  // namespace zelgui
