#include "tests/app/status_notifier_watcher.h"

#include <QDBusMessage>

QStringList StatusNotifierWatcher::registeredItems() const {
    std::lock_guard<std::mutex> hold(itemsLock_);
    return items_;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath) {
    const bool byPath = serviceOrPath.startsWith('/');
    const QString item = byPath ? message().service() + serviceOrPath
                                : serviceOrPath + QStringLiteral("/StatusNotifierItem");
    {
        std::lock_guard<std::mutex> hold(itemsLock_);
        if (items_.contains(item)) {
            return;
        }
        items_.append(item);
    }
    emit StatusNotifierItemRegistered(item);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString&) {
    emit StatusNotifierHostRegistered();
}
