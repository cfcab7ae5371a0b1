#include "app/instance_channel.h"

#include <unistd.h>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {
constexpr int kProbeMs = 500;

// In the user's runtime folder when there is one (only the user can reach
// it), else in the temporary folder with the user's id in the name.
QString socketPathFor(const QString& id) {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime + "/" + id + ".instance";
    }
    return QDir::tempPath() + "/" + id + "-" + QString::number(getuid()) + ".instance";
}
}  // namespace

InstanceChannel::InstanceChannel(const QString& id, QObject* parent)
    : QObject(parent), path_(socketPathFor(id)) {}

InstanceChannel::~InstanceChannel() = default;

bool InstanceChannel::isRunning() {
    if (server_ != nullptr) {
        return false;
    }
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(kProbeMs)) {
        return true;
    }
    // Nobody answers: a socket file left by a crashed copy, or none at all.
    QLocalServer::removeServer(path_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path_)) {
        delete server_;
        server_ = nullptr;
        return true;  // another copy took the name a moment ago
    }
    connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::onNewConnection);
    return false;
}

bool InstanceChannel::sendMessage(const QString& message, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(message.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // The running copy answers once it has taken the message.
    return socket.waitForReadyRead(timeoutMs) && socket.read(1) == "!";
}

void InstanceChannel::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            QString message = QString::fromUtf8(socket->readLine()).chopped(1);
            socket->write("!");
            socket->flush();
            emit messageReceived(message);
        });
    }
}
