#include "ui/qt/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {
const int kConnectMs = 2000;
const int kClaimLockMs = 5000;
}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), path_(SocketPath(key)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::SocketPath(const QString& key) {
  // Only the session's private folder: Qt gives none when the one it would
  // use is not the user's own, and a shared one such as /tmp would let
  // another user's socket answer for this program.
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) return QString();
  return QDir(dir).filePath(key);
}

bool SingleInstance::AskRunningCopy() {
  QLocalSocket socket;
  socket.connectToServer(path_);
  if (!socket.waitForConnected(kConnectMs)) return false;
  socket.write("front\n");
  socket.waitForBytesWritten(kConnectMs);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::Claim(std::function<void()> onFront) {
  // No private folder: every copy runs on its own.
  if (path_.isEmpty()) return false;
  // Two copies started together must not both find nobody and both listen:
  // looking and starting to listen happen under one lock.
  QLockFile lock(path_ + QStringLiteral(".lock"));
  lock.setStaleLockTime(kClaimLockMs);
  lock.tryLock(kClaimLockMs);

  if (AskRunningCopy()) return true;

  // Nobody answered: whatever socket file is left belongs to a copy that died.
  QLocalServer::removeServer(path_);
  onFront_ = std::move(onFront);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
      connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      if (onFront_) onFront_();
    }
  });
  // Without the socket the program still runs; it only cannot be found.
  server_->listen(path_);
  return false;
}
