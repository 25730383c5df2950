#pragma once
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QLocalServer;

// One running program for each user; both ends of the socket check that the
// other is a program of the same user. Start-up takes a lock file in the user's
// runtime folder (stale locks of a crashed program are broken), then looks for the
// local socket of a running instance; the first instance listens on it and releases
// the lock, a later one sends it a request and ends.
//
// The request is a few lines of text: the command ("activate"), then up to kMaxFiles
// "path <percent-encoded path>" lines (so that no byte of a name can start a line of
// its own), "more <count>" for the names left out, then an empty line. The receiver
// answers "ok" and ignores lines it does not know, so later requests can carry more
// without breaking older instances.
class CInstanceChecker : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* InstanceGuid = "{6C1E3B7A-9D42-4F1E-A85B-3E07D2C94F16}";
  // Names one start opens at most; the rest are counted, not opened.
  static constexpr int kMaxFiles = 1000;

  explicit CInstanceChecker(const QString& name = QString::fromLatin1(InstanceGuid), QObject* parent = nullptr);
  ~CInstanceChecker() override;

  // Serialises the check and the registration of programs that start at the same
  // moment. False when the lock could not be taken within `timeoutMs`.
  bool LockStartup(int timeoutMs = 10000);
  // True when another instance answers on the socket.
  bool IsAnotherInstanceRunning();
  // Listens on the socket (replacing a stale one) and releases the start-up lock.
  bool RegisterAsFirstInstance();
  // Asks the running instance to come to the front (and to open `files`, when a
  // kMaxFiles of them); releases the start-up lock. True when it answered.
  bool BringOtherInstanceToFront(const QStringList& files = {});

  // The socket's full path: the runtime folder, the name and the user.
  QString ServerName() const;
  QString LockPath() const;
  bool IsRegistered() const { return server_ != nullptr; }

  // Where the socket and the lock live: the runtime folder when Qt accepts it, else
  // "zel-velomar-run" in the user's cache folder, made 0700; either only when it is
  // this user's and nobody else may write into it, else "" (starts are then not
  // joined, but the program runs).
  static QString RuntimeFolder();

 signals:
  // A later instance asked this one to come to the front and open `files`;
  // `more` names beyond kMaxFiles were left out.
  void activateRequested(const QStringList& files, int more);

 private:
  void OnNewConnection();
  void ReleaseStartupLock();

  QString name_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};
