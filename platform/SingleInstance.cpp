#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace vm {

namespace {

constexpr int kConnectTimeoutMs = 2000;
constexpr int kConnectAttempts = 5;
const QByteArray kActivate = "activate\n";

QString PerUserName(const QString& name)
{
    return QStringLiteral("%1-%2").arg(name).arg(::getuid());
}

}  // namespace

SingleInstanceGuard::SingleInstanceGuard(const QString& name, QObject* parent)
    : QObject(parent), serverName_(PerUserName(name)),
      lock_(QDir::temp().filePath(serverName_ + QStringLiteral(".lock")))
{
    lock_.setStaleLockTime(0);  // a crashed holder's lock is recognised by its dead process
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (server_)
        server_->close();
}

bool SingleInstanceGuard::Acquire()
{
    if (server_)
        return true;
    if (!lock_.tryLock(0)) {
        NotifyRunningInstance();
        return false;
    }
    // We hold the lock, so a socket left behind is from a crashed instance.
    QLocalServer::removeServer(serverName_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstanceGuard::OnNewConnection);
    server_->listen(serverName_);
    return true;
}

bool SingleInstanceGuard::NotifyRunningInstance()
{
    // The first instance may still be starting up and not listen yet: try a few times.
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(kConnectTimeoutMs)) {
            socket.write(kActivate);
            socket.waitForBytesWritten(kConnectTimeoutMs);
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(200);
    }
    return false;
}

void SingleInstanceGuard::OnNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(kActivate.trimmed()))
                emit activateRequested();
        });
    }
}

}  // namespace vm
