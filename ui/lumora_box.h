#pragma once

#include <QPixmap>
#include <QSystemTrayIcon>

#include "base/language.h"
#include "widgets/custom_show_dialog.h"

class ControlView;
class PlayerBarView;
class PlayerDisplayView;
class QMenu;

// The program's one window, 982 x 648 and frameless: the preview and the
// player bar on the left, the tabs on the right, and a tray icon. Closing
// the window hides it into the tray (or, on a desktop without a tray,
// minimises it, so it can always be reached); the tray menu's "退出", the
// session's end and a quit request from the desktop end the program. The
// tray menu also chooses the language of the next start.
class LumoraBox : public CustomShowDialog {
    Q_OBJECT

public:
    static LumoraBox* instance();
    static void destroy();
    // The title and the tray's tooltip prefix.
    static QString productTitle();
    static QString versionText() { return "1.1.8"; }

    ControlView* controlView() const { return control_; }
    PlayerDisplayView* display() const { return display_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QMenu* trayMenu() const { return menu_; }

    void drawBackground(QPainter& painter) override;

public slots:
    void onActivate();
    void onAppMessage(const QString& message);
    void loadFromDb();
    void onIconActivate(QSystemTrayIcon::ActivationReason reason);
    void onMenuQuit();
    void onMenuShowWnd();
    // The tray menu's language choice: kept in the settings store for the
    // next start, which a message says.
    void onLanguageChosen(Language language);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    LumoraBox();
    void buildTray();
    void buildTrayMenu();
    // Asks the compositor for the focus with a later start's activation token.
    void comeForwardWith(const QString& token);

    QPixmap left_;
    QPixmap right_;
    ControlView* control_ = nullptr;
    PlayerDisplayView* display_ = nullptr;
    PlayerBarView* bar_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* menu_ = nullptr;
};
