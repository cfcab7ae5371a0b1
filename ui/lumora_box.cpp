#include "ui/lumora_box.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include "app/activation_request.h"
#include "app/settings_db.h"
#include "app/startup.h"
#include "base/debug_log.h"
#include "ui/control_view.h"
#include "ui/full_video_view.h"
#include "ui/player_bar_view.h"
#include "ui/tray_presence.h"
#include "widgets/custom_message_box.h"
#include "widgets/skin_style.h"

namespace {
LumoraBox* g_box = nullptr;      // the user-interface thread only
constexpr int kAttentionMs = 0;  // keep asking until the window is looked at
}  // namespace

LumoraBox* LumoraBox::instance() {
    if (g_box == nullptr) {
        g_box = new LumoraBox;
    }
    return g_box;
}

void LumoraBox::destroy() {
    delete g_box;
    g_box = nullptr;
}

QString LumoraBox::productTitle() { return tr("Lumora直播伴侣"); }

LumoraBox::LumoraBox() {
    setWindowTitle(productTitle());
    setFixedSize(982, 648);
    setHideOnClose(true);
    setContentsMargins(8, 8, 8, 8);
    setWindowIcon(QIcon(SkinStyle::instance()->skinPath("app.ico")));
    buildTray();  // with the window's icon
    // A quit request from the session (logout) or the desktop would close
    // every window first, and this one refuses to close: it would be refused.
    qApp->installEventFilter(this);
    left_ = SkinStyle::instance()->pixmap("main/bg_main_left.png");
    right_ = SkinStyle::instance()->pixmap("main/bg_main_right.png");

    auto* preview = new QVBoxLayout;
    preview->setContentsMargins(0, 0, 0, 0);
    preview->setSpacing(0);
    display_ = new PlayerDisplayView(this);
    bar_ = new PlayerBarView(this);
    preview->addWidget(display_);
    preview->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(preview);
    control_ = new ControlView(this);
    row->addWidget(control_, 1);
    mainLayout()->addLayout(row, 1);
    QTimer::singleShot(0, this, &LumoraBox::loadFromDb);
}

void LumoraBox::buildTray() {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(productTitle() + "v" + versionText());
    // The menu comes with the icon: a StatusNotifier host reads it over D-Bus
    // and opens it itself, so no right click ever reaches the program there.
    buildTrayMenu();
    tray_->setContextMenu(menu_);
    connect(tray_, &QSystemTrayIcon::activated, this, &LumoraBox::onIconActivate);
    showInTray(*tray_);
}

void LumoraBox::drawBackground(QPainter& painter) {
    painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(0, 0, left_);
    painter.drawPixmap(logicalSize(left_).width(), 0, right_);
}

void LumoraBox::resizeEvent(QResizeEvent* event) {
    CustomShowDialog::resizeEvent(event);
    debugLog("lumora box rect %d x %d", width(), height());
    QPainterPath path;
    path.addRoundedRect(QRectF(rect().adjusted(8, 8, -10, -8)), 6, 6);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

bool LumoraBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::Quit) {
        // Settings are saved as they change; what is still open (a
        // recording) is finished as the window is destroyed after the loop.
        debugLog("the session or the desktop asked the program to quit");
        onMenuQuit();
        return true;
    }
    return CustomShowDialog::eventFilter(watched, event);
}

void LumoraBox::closeEvent(QCloseEvent* event) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        debugLog("window closed: hidden in the tray");
        CustomShowDialog::closeEvent(event);
        return;
    }
    debugLog("window closed: minimised, the desktop has no tray");
    event->ignore();
    showMinimized();  // no tray to come back from
}

void LumoraBox::onIconActivate(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Context:
            break;  // the tray opens its menu itself: Qt's XEmbed icon or the host
        case QSystemTrayIcon::DoubleClick:
        case QSystemTrayIcon::Trigger:
            onActivate();  // shown is not enough: a minimised window must come back
            break;
        default:
            break;
    }
}

void LumoraBox::buildTrayMenu() {
    menu_ = new QMenu(this);
    menu_->addAction(tr("显示主窗体"), this, &LumoraBox::onMenuShowWnd);
    menu_->addSeparator();
    // Each language is named in itself, so that whoever cannot read the
    // other finds their own.
    QMenu* languages = menu_->addMenu(tr("语言 Language"));
    auto* choices = new QActionGroup(languages);
    const Language current = announcedLanguage();
    for (auto [language, name] :
         {std::pair{Language::Chinese, "中文"}, std::pair{Language::English, "English"}}) {
        QAction* action = languages->addAction(QString::fromUtf8(name));
        action->setCheckable(true);
        action->setChecked(language == current);
        action->setActionGroup(choices);
        connect(action, &QAction::triggered, this,
                [this, language] { onLanguageChosen(language); });
    }
    menu_->addSeparator();
    menu_->addAction(tr("退出"), this, &LumoraBox::onMenuQuit);
}

void LumoraBox::onLanguageChosen(Language language) {
    SettingsDb::instance()->saveText(kLanguageKey, languageCode(language));
    debugLog("language: %s chosen for the next start", languageCode(language));
    CustomMessageBox box(QMessageBox::Information, tr("提示"),
                         language == Language::English
                             ? QStringLiteral("Lumora will speak English from its next start.")
                             : QStringLiteral("Lumora 下次启动时将使用中文。"),
                         QMessageBox::Ok, this);
    box.exec();
}

void LumoraBox::onMenuShowWnd() { QTimer::singleShot(0, this, &LumoraBox::onActivate); }

void LumoraBox::onActivate() {
    setVisible(true);
    showNormal();
    raise();
    activateWindow();
}

void LumoraBox::onAppMessage(const QString& message) {
    std::optional<ActivationRequest> request = activationRequestIn(message);
    if (!request) {
        debugLog("app message: %s (not understood)", qPrintable(message));
        return;
    }
    debugLog("app message: activate window%s",
             request->token.isEmpty() ? "" : " with an activation token");
    if (!isVisible()) {
        showMinimized();
    }
    if (!request->token.isEmpty() && QGuiApplication::platformName().startsWith("wayland")) {
        comeForwardWith(request->token);
    }
    // Where the compositor refuses the token (too old, or no input came with
    // it), the window asks for attention instead; a window that did come
    // forward is active and Qt leaves it be.
    QApplication::alert(this, kAttentionMs);
}

// Qt's Wayland window hands XDG_ACTIVATION_TOKEN to the compositor's
// xdg-activation when it is asked to activate, and clears it. A compositor
// without xdg-activation leaves it unread: it is cleared here too, so the
// helpers the program starts later never inherit it.
void LumoraBox::comeForwardWith(const QString& token) {
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    activateWindow();
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

// exit() rather than quit(): quit() first asks the windows to close, and
// this one only hides, which would cancel the quit.
void LumoraBox::onMenuQuit() { QCoreApplication::exit(0); }

void LumoraBox::loadFromDb() { control_->loadFromDb(); }
