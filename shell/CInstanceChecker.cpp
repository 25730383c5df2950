#include "shell/CInstanceChecker.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr int kConnectMs = 300;
constexpr int kAnswerMs = 700;
// An encoded path is at most three times PATH_MAX; a longer line is no request.
constexpr qint64 kMaxLine = 64 * 1024;

// What one connection has asked for so far.
struct Request {
  bool activate = false;
  QStringList files;
  qint64 more = 0;
};

QString UserName() {
  QString user = qEnvironmentVariable("USER");
  if (user.isEmpty()) user = QString::number(::getuid());
  return user;
}

// Socket paths are short (108 bytes): keep only safe characters of the name.
QString SafeName(const QString& text) {
  QString out;
  for (QChar c : text) {
    if (c.isLetterOrNumber() || c == u'-' || c == u'_') out += c;
  }
  return out;
}

// Only a folder nobody else can write into may hold the socket and the lock:
// another user listening there first would take every start and its names.
bool PrivateFolder(const QString& folder) {
  struct stat st {};
  return !folder.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// The other end of a local connection is a program of this user.
bool PeerIsThisUser(const QLocalSocket& socket) {
  struct ucred cred {};
  socklen_t size = sizeof cred;
  return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 &&
         cred.uid == ::geteuid();
}

// Connects to the running instance of this user; false for nobody or somebody else.
bool ConnectToOwn(QLocalSocket& socket, const QString& name) {
  if (name.isEmpty()) return false;
  socket.connectToServer(name);
  return socket.waitForConnected(kConnectMs) && PeerIsThisUser(socket);
}

}  // namespace

CInstanceChecker::CInstanceChecker(const QString& name, QObject* parent) : QObject(parent), name_(name) {}

CInstanceChecker::~CInstanceChecker() {
  ReleaseStartupLock();
  if (server_) server_->close();
}

QString CInstanceChecker::RuntimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (PrivateFolder(folder)) return folder;
  // Never the shared temporary folder: a folder of our own in the user's cache.
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (cache.isEmpty()) return QString();
  folder = cache + QStringLiteral("/zel-velomar-run");
  QDir().mkpath(cache);
  ::mkdir(QFile::encodeName(folder).constData(), 0700);
  if (PrivateFolder(folder)) return folder;
  qWarning("zel-velomar: %s is not a folder of this user alone; starts are not joined", qPrintable(folder));
  return QString();
}

QString CInstanceChecker::ServerName() const {
  const QString folder = RuntimeFolder();
  if (folder.isEmpty()) return QString();
  return folder + QStringLiteral("/zel-velomar-") + SafeName(name_) + u'-' + SafeName(UserName());
}

QString CInstanceChecker::LockPath() const {
  const QString server = ServerName();
  return server.isEmpty() ? QString() : server + QStringLiteral(".lock");
}

bool CInstanceChecker::LockStartup(int timeoutMs) {
  if (lock_ && lock_->isLocked()) return true;
  if (LockPath().isEmpty()) return false;
  lock_ = std::make_unique<QLockFile>(LockPath());
  // A start-up takes well under this; an older lock belongs to a program that died
  // between taking and releasing it (QLockFile also checks that its process lives).
  lock_->setStaleLockTime(30000);
  return lock_->tryLock(timeoutMs);
}

bool CInstanceChecker::IsAnotherInstanceRunning() {
  QLocalSocket socket;
  const bool connected = ConnectToOwn(socket, ServerName());
  socket.abort();
  return connected;
}

bool CInstanceChecker::RegisterAsFirstInstance() {
  if (server_) return true;
  if (ServerName().isEmpty() || IsAnotherInstanceRunning()) return false;
  // Nobody answers, so a socket file left there belongs to a crashed program.
  QLocalServer::removeServer(ServerName());
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(ServerName())) {
    delete server;
    ReleaseStartupLock();
    return false;
  }
  server_ = server;
  connect(server_, &QLocalServer::newConnection, this, &CInstanceChecker::OnNewConnection);
  ReleaseStartupLock();
  return true;
}

bool CInstanceChecker::BringOtherInstanceToFront(const QStringList& files) {
  QLocalSocket socket;
  bool answered = false;
  if (ConnectToOwn(socket, ServerName())) {
    QByteArray request = "activate\n";
    const qsizetype sent = std::min<qsizetype>(files.size(), kMaxFiles);
    for (qsizetype i = 0; i < sent; ++i) request += "path " + QFile::encodeName(files[i]).toPercentEncoding("/") + '\n';
    if (files.size() > sent) request += "more " + QByteArray::number(files.size() - sent) + '\n';
    request += '\n';
    socket.write(request);
    socket.waitForBytesWritten(kAnswerMs);
    while (!socket.canReadLine() && socket.waitForReadyRead(kAnswerMs)) {
    }
    answered = socket.canReadLine() && socket.readLine().trimmed() == "ok";
    socket.disconnectFromServer();
  }
  ReleaseStartupLock();
  return answered;
}

void CInstanceChecker::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (!PeerIsThisUser(*socket)) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A client that never finishes its request is dropped.
    QPointer<QLocalSocket> guard(socket);
    QTimer::singleShot(5000, socket, [guard] {
      if (guard) guard->abort();
    });
    auto request = std::make_shared<Request>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, request] {
      while (socket->canReadLine()) {
        QByteArray text = socket->readLine();
        if (text.endsWith('\n')) text.chop(1);
        if (text.isEmpty()) {
          socket->write("ok\n");
          socket->flush();
          socket->disconnectFromServer();
          if (request->activate) {
            emit activateRequested(request->files, static_cast<int>(std::min<qint64>(request->more, INT_MAX)));
          }
          return;
        }
        if (text == "activate") {
          request->activate = true;
        } else if (text.startsWith("path ")) {
          if (request->files.size() < kMaxFiles) {
            request->files.push_back(QFile::decodeName(QByteArray::fromPercentEncoding(text.mid(5))));
          } else {
            ++request->more;
          }
        } else if (text.startsWith("more ")) {
          request->more += std::clamp<qint64>(text.mid(5).toLongLong(), 0, INT_MAX);
        }
      }
      if (socket->bytesAvailable() > kMaxLine) socket->abort();
    });
  }
}

void CInstanceChecker::ReleaseStartupLock() {
  if (lock_) {
    lock_->unlock();
    lock_.reset();
  }
}
