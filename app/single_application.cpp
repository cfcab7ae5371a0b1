#include "app/single_application.h"

#include "app/instance_channel.h"

SingleApplication::SingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv), channel_(new InstanceChannel(id, this)) {
    connect(channel_, &InstanceChannel::messageReceived, this, &SingleApplication::messageReceived);
}

SingleApplication::~SingleApplication() = default;

bool SingleApplication::isRunning() { return channel_->isRunning(); }

bool SingleApplication::sendMessage(const QString& message, int timeoutMs) {
    return channel_->sendMessage(message, timeoutMs);
}
