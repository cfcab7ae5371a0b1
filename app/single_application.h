#pragma once

#include <QApplication>

class InstanceChannel;

// The widget application that knows whether it is the user's first copy of
// the program, and through which later copies reach the first one.
class SingleApplication : public QApplication {
    Q_OBJECT

public:
    SingleApplication(const QString& id, int& argc, char** argv);
    ~SingleApplication() override;

    bool isRunning();
    bool sendMessage(const QString& message, int timeoutMs);

signals:
    void messageReceived(const QString& message);

private:
    InstanceChannel* channel_;
};
