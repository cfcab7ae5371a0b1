#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// Lets the first copy of the program that a user starts hear from later
// ones: a local socket named after the program and the user. The first copy
// listens; a later copy finds it there and hands over a message. A socket
// left behind by a copy that crashed answers nobody and is taken over.
//
// Threads: the user-interface thread, with its event loop.
class InstanceChannel : public QObject {
    Q_OBJECT

public:
    explicit InstanceChannel(const QString& id, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // True when another copy listens; otherwise this one starts listening.
    bool isRunning();
    // Hands `message` to the running copy; false when it did not take it
    // within `timeoutMs`.
    bool sendMessage(const QString& message, int timeoutMs);

signals:
    void messageReceived(const QString& message);

private slots:
    void onNewConnection();

private:
    QString path_;
    QLocalServer* server_ = nullptr;
};
