#pragma once

class QSystemTrayIcon;

// Puts the program's icon where the desktop shows tray icons. Qt shows it as
// a StatusNotifierItem over D-Bus where a host has registered
// org.kde.StatusNotifierWatcher on the session bus (KDE Plasma, GNOME with the
// AppIndicator extension, most panels), and on X11 also in an XEmbed tray.
// Where there is neither, the log says why and what to do, and the answer is
// false: the window then has no tray to hide in.
bool showInTray(QSystemTrayIcon& icon);
