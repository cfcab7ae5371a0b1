#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>

#include <mutex>

// org.kde.StatusNotifierWatcher as a desktop's panel offers it, for a host
// that is the panel itself: a host is always there, and every item that
// registers is kept, as "<bus name><object path>". Exported whole
// (slots, signals, properties), so that its introspection is the interface's.
class StatusNotifierWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    // Safe from any thread: the bus's calls come on the watcher's own.
    QStringList registeredItems() const;
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    // An item gives its bus name (its object is then at /StatusNotifierItem)
    // or its object path (on the caller's connection).
    void RegisterStatusNotifierItem(const QString& serviceOrPath);
    void RegisterStatusNotifierHost(const QString& service);

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    mutable std::mutex itemsLock_;  // the items: written by the bus's calls, read by the test
    QStringList items_;
};
