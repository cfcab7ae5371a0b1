#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "app/settings_db.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/camera_control_view.h"
#include "ui/control_view.h"
#include "ui/effect_control_view.h"
#include "ui/lumora_box.h"
#include "ui/video_control_view.h"
#include "widgets/button_skin.h"

namespace {
struct Window {
    LumoraBox* box = LumoraBox::instance();
    Window() {
        box->showDialog();
        settle();
    }
    ~Window() { LumoraBox::destroy(); }
};
}  // namespace

TEST(MainWindowTest, StartsWithTheCameraPageAndTheEffectPageOnly) {
    Window window;
    ControlView* control = window.box->controlView();
    EXPECT_EQ(window.box->size(), QSize(982, 648));
    EXPECT_EQ(window.box->windowTitle(), "Lumora直播伴侣");
    EXPECT_TRUE(window.box->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_NE(qobject_cast<CameraControlView*>(control->page(ControlView::Camera)), nullptr);
    EXPECT_EQ(control->currentPage(), control->page(ControlView::Camera));
    EXPECT_TRUE(control->tabButton(ControlView::Camera)->isSelected());
    EXPECT_NE(qobject_cast<EffectControlView*>(control->page(ControlView::Effects)), nullptr)
        << "made by loadFromDb so saved effects return";
    for (int tab : {ControlView::Videos, ControlView::Pictures, ControlView::Recordings}) {
        EXPECT_EQ(control->page(tab), nullptr) << tab;
    }
    EXPECT_EQ(window.box->trayIcon()->toolTip(), "Lumora直播伴侣v1.1.8");
    EXPECT_FALSE(window.box->mask().isEmpty()) << "rounded corners";
    EXPECT_FALSE(window.box->mask().contains(QPoint(2, 2))) << "inside the shadow margin";
}

TEST(MainWindowTest, ATabKeepsItsPageAndOnlyItsButtonIsSelected) {
    Window window;
    ControlView* control = window.box->controlView();
    control->tabButton(ControlView::Videos)->click();
    QWidget* videos = control->page(ControlView::Videos);
    ASSERT_NE(qobject_cast<VideoControlView*>(videos), nullptr);
    EXPECT_EQ(control->currentPage(), videos);
    EXPECT_TRUE(control->tabButton(ControlView::Videos)->isSelected());
    EXPECT_FALSE(control->tabButton(ControlView::Camera)->isSelected());
    control->tabButton(ControlView::Camera)->click();
    control->tabButton(ControlView::Videos)->click();
    EXPECT_EQ(control->page(ControlView::Videos), videos) << "the same page object";
    control->tabButton(ControlView::Effects)->click();
    EXPECT_EQ(control->currentPage(), control->page(ControlView::Effects));
}

TEST(MainWindowTest, TheTrayMenuAndTheCloseButton) {
    Window window;
    LumoraBox* box = window.box;
    emit box->trayIcon()->activated(QSystemTrayIcon::Context);
    ASSERT_NE(box->trayMenu(), nullptr);
    QList<QAction*> entries = box->trayMenu()->actions();
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0]->text(), "显示主窗体");
    EXPECT_TRUE(entries[1]->isSeparator());
    ASSERT_NE(entries[2]->menu(), nullptr);
    EXPECT_TRUE(entries[3]->isSeparator());
    EXPECT_EQ(entries[4]->text(), "退出");
    box->trayMenu()->hide();

    // The language menu: each language in itself, the one spoken checked;
    // a choice is kept for the next start and said.
    QList<QAction*> languages = entries[2]->menu()->actions();
    ASSERT_EQ(languages.size(), 2);
    EXPECT_EQ(languages[0]->text(), "中文");
    EXPECT_EQ(languages[1]->text(), "English");
    EXPECT_TRUE(languages[0]->isChecked()) << "the tests speak Chinese";
    {
        MessageAnswer answer(QMessageBox::Ok);
        languages[1]->trigger();
        EXPECT_EQ(answer.text, "Lumora will speak English from its next start.");
    }
    EXPECT_EQ(SettingsDb::instance()->loadText("language"), "en");
    EXPECT_TRUE(languages[1]->isChecked());
    {
        MessageAnswer answer(QMessageBox::Ok);
        languages[0]->trigger();
    }
    EXPECT_EQ(SettingsDb::instance()->loadText("language"), "zh");

    box->closeButton()->click();
    settle();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(box->isVisible()) << "closing hides into the tray";
    } else {
        EXPECT_TRUE(box->isMinimized()) << "no tray: closing minimises";
    }
    // A double click on the tray icon, as the icon reports it.
    emit box->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    settle();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isMinimized()) << "the double click brings the window back";

    box->hide();
    box->onAppMessage("activate window");
    EXPECT_TRUE(box->isVisible()) << "a second start shows the hidden window minimised";
    EXPECT_TRUE(box->isMinimized());

    QTimer::singleShot(0, [&] { entries[4]->trigger(); });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    bound.start(10000);
    int result = QEventLoop().exec();
    EXPECT_EQ(result, 0) << "退出 ends the event loop";
}

// The session ending (logout: the session manager's "die") and a desktop's
// own quit request reach the program as a quit event: it ends as the tray's
// "退出" does, the window's close button does not refuse it.
TEST(MainWindowTest, TheSessionsQuitRequestEndsTheProgram) {
    Window window;
    QTimer::singleShot(0, [] {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    bound.start(3000);
    int result = QEventLoop().exec();
    EXPECT_EQ(result, 0) << "the quit request was refused";
}
