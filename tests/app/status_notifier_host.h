#pragma once

#include <QDBusConnection>
#include <QString>
#include <QThread>
#include <QVariant>

#include <chrono>
#include <optional>
#include <vector>

class StatusNotifierWatcher;

// An item as a host addresses it.
struct TrayItem {
    QString service;
    QString path;
};

// One entry of an item's menu, in the menu's order; depth 1 is the menu
// itself, 2 a submenu of it.
struct TrayMenuEntry {
    int id = 0;
    int depth = 0;
    QString label;
    QString type;  // "separator", else empty
};

// A desktop's tray as a test sees it: on the bus at `address` it owns
// org.kde.StatusNotifierWatcher at /StatusNotifierWatcher, on a thread of its
// own so that it answers while the test waits on other things, and reads and
// clicks the items that register as a panel does: their properties over
// org.freedesktop.DBus.Properties, their menus over com.canonical.dbusmenu.
// Makes the test's QCoreApplication if there is none yet.
class StatusNotifierHost {
public:
    explicit StatusNotifierHost(const std::string& address);
    ~StatusNotifierHost();
    StatusNotifierHost(const StatusNotifierHost&) = delete;
    StatusNotifierHost& operator=(const StatusNotifierHost&) = delete;

    // Whether it owns the watcher's name.
    bool watching() const { return watching_; }
    // The first item to register, waited for up to `limit`.
    std::optional<TrayItem> waitForItem(std::chrono::milliseconds limit);
    // The process on the other end of the item's bus name, 0 when unknown.
    uint ownerPid(const TrayItem& item);

    // A property of org.kde.StatusNotifierItem; invalid when unanswered.
    QVariant property(const TrayItem& item, const QString& name);
    // The title of the item's ToolTip.
    QString toolTipTitle(const TrayItem& item);
    // Whether the item gives an icon: a name, or a picture of whole ARGB rows.
    bool showsAnIcon(const TrayItem& item);
    // The item's menu as the host would show it; empty when it has none.
    std::vector<TrayMenuEntry> menu(const TrayItem& item);

    // A left click on the icon: Activate(x, y).
    bool activate(const TrayItem& item, int x, int y);
    // A click on a menu entry: the menu's Event(id, "clicked", ...).
    bool click(const TrayItem& item, int entryId);

private:
    QDBusMessage call(const QDBusMessage& message);
    QString menuPath(const TrayItem& item);

    bool application_;
    QDBusConnection bus_;
    QThread thread_;
    StatusNotifierWatcher* watcher_;  // lives on thread_
    bool watching_ = false;
};
