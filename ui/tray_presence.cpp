#include "ui/tray_presence.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

#include "base/debug_log.h"

namespace {
// Qt chooses its D-Bus tray once, as the first icon is made; after that only
// X11's XEmbed tray can still turn up, and Qt docks a visible icon into it
// when it does.
bool trayMayStartLater() { return QGuiApplication::platformName() == QStringLiteral("xcb"); }

void adviseOnMissingTray() {
    debugLog(
        "tray: no tray icon, as nothing on the session bus hosts StatusNotifierItems "
        "(org.kde.StatusNotifierWatcher)%s; closing the window minimises it instead. On GNOME, "
        "install and enable the AppIndicator extension (gnome-shell-extension-appindicator), "
        "then start Lumora again",
        trayMayStartLater() ? " and the display has no XEmbed tray" : "");
}
}  // namespace

bool showInTray(QSystemTrayIcon& icon) {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    // Off X11, a visible icon without the D-Bus tray only makes Qt connect to
    // the X11 plug-in's tray signal, which it warns is missing.
    if (available || trayMayStartLater()) {
        icon.setVisible(true);
    }
    if (!available) {
        adviseOnMissingTray();
    }
    return available;
}
