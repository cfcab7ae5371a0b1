#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "tests/widgets/widget_test_skin.h"
#include "widgets/btn_hlayout.h"
#include "widgets/button_skin.h"
#include "widgets/custom_message_box.h"
#include "widgets/custom_show_dialog.h"
#include "widgets/dialog_pending_manager.h"
#include "widgets/nine_slice.h"
#include "widgets/skin_style.h"

namespace {
// Records the keys that get past the dialog's own event handling.
class KeyProbe : public CustomShowDialog {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

void sendMouse(QWidget& widget, QEvent::Type type, QPoint local, QPoint global) {
    QMouseEvent event(type, local, global, Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

// Presses at `local`, moves the pointer by `by` and releases; returns where
// the dialog went.
QPoint drag(QWidget& dialog, QPoint local, QPoint by) {
    QPoint global = dialog.pos() + local;
    sendMouse(dialog, QEvent::MouseButtonPress, local, global);
    sendMouse(dialog, QEvent::MouseMove, local + by, global + by);
    sendMouse(dialog, QEvent::MouseButtonRelease, local + by, global + by);
    return dialog.pos();
}

std::vector<ButtonSkin*> barButtons(CustomMessageBox& box) {
    std::vector<ButtonSkin*> buttons;
    for (ButtonSkin* button : box.findChildren<ButtonSkin*>()) {
        if (button->property("buttonId").isValid()) {
            buttons.push_back(button);
        }
    }
    std::sort(buttons.begin(), buttons.end(),
              [](ButtonSkin* a, ButtonSkin* b) { return a->x() < b->x(); });
    return buttons;
}

QString repeated(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}
}  // namespace

TEST(DialogTest, EscapeNeverReachesTheDialogAndDraggingNeedsTheTitleArea) {
    KeyProbe dialog;
    dialog.setGeometry(100, 100, 300, 200);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_A);
    EXPECT_EQ(dialog.keys, std::vector<int>{Qt::Key_A});
    EXPECT_TRUE(dialog.isVisible());

    EXPECT_EQ(drag(dialog, QPoint(50, 20), QPoint(30, 10)), QPoint(130, 110));
    EXPECT_EQ(drag(dialog, QPoint(50, 0), QPoint(30, 10)), QPoint(130, 110))
        << "the first row is not inside the title area";
    EXPECT_EQ(drag(dialog, QPoint(0, 20), QPoint(30, 10)), QPoint(130, 110))
        << "nor is the first column";
    EXPECT_EQ(drag(dialog, QPoint(50, 40), QPoint(30, 10)), QPoint(130, 110))
        << "the title area is 40 rows high";
    EXPECT_EQ(drag(dialog, QPoint(50, 39), QPoint(-30, -10)), QPoint(100, 100));

    dialog.showMaximized();
    QPoint maximised = dialog.pos();
    EXPECT_EQ(drag(dialog, QPoint(50, 20), QPoint(30, 10)), maximised)
        << "a maximised dialog stays put";
}

TEST(DialogTest, CentringPushesTheDialogOntoTheAvailableDesktop) {
    QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget owner;
    owner.setGeometry(desktop.left() + 100, desktop.top() + 100, 200, 200);
    CustomShowDialog dialog(&owner);
    dialog.resize(100, 60);
    dialog.centerOn(&owner);
    EXPECT_EQ(dialog.pos(), owner.mapToGlobal(QPoint(50, 70)));
    EXPECT_TRUE(dialog.isVisible());

    owner.move(desktop.right() - 50, desktop.bottom() - 20);
    CustomShowDialog big(&owner);
    big.resize(300, 200);
    big.centerOn(&owner);
    EXPECT_EQ(big.geometry(), QRect(desktop.right() - 299, desktop.bottom() - 199, 300, 200));

    owner.move(desktop.left() - 150, desktop.top() - 150);
    big.centerOn(&owner);
    EXPECT_EQ(big.pos(), desktop.topLeft());
}

// A compositor that places windows itself (Wayland) centres a dialog on the
// window it belongs to; Qt tells it for a dialog with a parent, centerOn for
// one without.
TEST(DialogTest, ADialogCentredOnAWidgetBelongsToItsWindow) {
    QWidget owner;
    owner.setGeometry(100, 100, 400, 300);
    auto* inside = new QLabel("inside", &owner);
    owner.show();

    CustomShowDialog parentless;
    parentless.resize(100, 60);
    parentless.centerOn(inside);
    ASSERT_NE(parentless.windowHandle(), nullptr);
    EXPECT_EQ(parentless.windowHandle()->transientParent(), owner.windowHandle());

    CustomShowDialog child(inside);
    child.resize(100, 60);
    child.centerOn(inside);
    EXPECT_EQ(child.windowHandle()->transientParent(), owner.windowHandle());
    EXPECT_EQ(child.pos(),
              inside->mapToGlobal(QPoint((inside->width() - 100) / 2, (inside->height() - 60) / 2)))
        << "placed exactly where the platform lets it";

    CustomShowDialog alone;
    alone.centerOn(nullptr);
    EXPECT_EQ(alone.windowHandle()->transientParent(), nullptr);
}

TEST(DialogTest, ExecReturnsTheDoneValueOnceAndListsThePendingDialog) {
    auto* dialog = new CustomShowDialog;
    QPointer<CustomShowDialog> alive(dialog);
    int nested = 0;
    QTimer::singleShot(0, dialog, [&] {
        nested = dialog->exec();
        dialog->done(7);
    });
    EXPECT_EQ(dialog->exec(), 7);
    EXPECT_EQ(nested, -1) << "a second exec() of a running dialog returns at once";
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::NonModal) << "its modality is restored";
    EXPECT_TRUE(DialogPendingManager::instance()->dialogs().contains(dialog));

    QTimer::singleShot(0, dialog, [&] { dialog->closeButton()->click(); });
    EXPECT_EQ(dialog->exec(), 0) << "closed by its close button";

    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(0, dialog, [&] { dialog->done(3); });
    EXPECT_EQ(dialog->exec(), 3);
    EXPECT_TRUE(alive.isNull()) << "deleted on close after exec()";
    EXPECT_FALSE(DialogPendingManager::instance()->dialogs().contains(dialog));
}

TEST(DialogTest, OpenListAndHideOnClose) {
    CustomShowDialog first;
    CustomShowDialog second;
    first.showDialog();
    second.showDialog();
    first.showDialog();
    EXPECT_EQ(CustomDialog::openDialogs(), (QList<CustomDialog*>{&first, &second}));
    second.setHideOnClose(true);
    EXPECT_FALSE(second.close()) << "the close is refused";
    EXPECT_FALSE(second.isVisible()) << "but the dialog hides";
    first.close();
    EXPECT_TRUE(CustomDialog::openDialogs().isEmpty());

    QWidget owner;
    CustomShowDialog modal(&owner);
    modal.setModal(true);
    EXPECT_EQ(modal.windowModality(), Qt::WindowModal);
    CustomShowDialog lone;
    lone.setModal(true);
    EXPECT_EQ(lone.windowModality(), Qt::ApplicationModal);
    lone.showDialog();
    EXPECT_TRUE(CustomDialog::openDialogs().isEmpty()) << "modal dialogs are not listed";
}

TEST(DialogTest, MessageBoxButtonsComeInOrderAndReturnTheirFlag) {
    CustomMessageBox all(QMessageBox::Question, "t", "x",
                         QMessageBox::Cancel | QMessageBox::No | QMessageBox::Yes |
                             QMessageBox::Ok | QMessageBox::Close);
    std::vector<int> order;
    for (ButtonSkin* button : barButtons(all)) {
        order.push_back(button->property("buttonId").toInt());
    }
    EXPECT_EQ(order, (std::vector<int>{QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No,
                                       QMessageBox::Cancel}));
    EXPECT_EQ(barButtons(all)[0]->imagePath(), "record/btn_ok.png");
    EXPECT_EQ(barButtons(all)[3]->imagePath(), "record/btn_cancel.png");

    for (int pick : {0, 1}) {
        CustomMessageBox box(QMessageBox::Question, "标题", "确定吗？",
                             QMessageBox::Ok | QMessageBox::Cancel);
        box.resize(320, 180);
        QTimer::singleShot(0, &box, [&] {
            QTest::mouseClick(barButtons(box)[pick], Qt::LeftButton, {}, QPoint(5, 5));
        });
        EXPECT_EQ(box.exec(), pick == 0 ? QMessageBox::Ok : QMessageBox::Cancel);
        EXPECT_EQ(shown(*barButtons(box)[0]), QColor(Qt::green));
    }

    QWidget owner;
    owner.setGeometry(50, 50, 400, 300);
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<CustomMessageBox*>(top); box && box->isVisible()) {
                barButtons(*box)[1]->click();
            }
        }
    });
    EXPECT_EQ(
        CustomMessageBox::question(&owner, "问", "删除吗？", QMessageBox::Yes | QMessageBox::No),
        QMessageBox::No);
}

TEST(DialogTest, MessageTextWrapsFromOneHundredBytes) {
    // Three bytes a character in the local 8-bit (UTF-8) encoding.
    QString ninetyNine = repeated("录", 33);
    CustomMessageBox shortBox(QMessageBox::Question, "t", ninetyNine, QMessageBox::Ok);
    EXPECT_FALSE(shortBox.textLabel()->wordWrap());
    CustomMessageBox longBox(QMessageBox::Question, "t", ninetyNine + "a", QMessageBox::Ok);
    EXPECT_TRUE(longBox.textLabel()->wordWrap());
    EXPECT_EQ(longBox.textLabel()->text(), ninetyNine + "a");
    EXPECT_EQ(longBox.windowTitle(), "t");
}

TEST(DialogTest, ConfirmDialogSwapsContentAndReportsButtonIds) {
    CustomConfirmDialog dialog;
    QPointer<QLabel> first = new QLabel("one");
    dialog.setContentWidget(first);
    dialog.setContentWidget(new QLabel("two"));
    EXPECT_TRUE(first.isNull()) << "the old content is deleted";
    EXPECT_EQ(static_cast<QLabel*>(dialog.contentWidget())->text(), "two");
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);

    auto* button = new ButtonSkin("record/btn_ok.png", &dialog);
    button->setProperty("id", 5);
    dialog.buttonBar()->addWidget(button);
    QObject::connect(button, &Button::clicked, &dialog, &CustomConfirmDialog::onButtonClick);
    std::vector<int> ids;
    QObject::connect(&dialog, &CustomConfirmDialog::sig_ButtonClick,
                     [&](int id) { ids.push_back(id); });
    button->click();
    EXPECT_EQ(ids, std::vector<int>{5});

    // The border: the upper piece down to the content's bottom, the lower
    // piece (a fixed 31 rows of the picture) under it.
    dialog.resize(300, 400);
    dialog.show();
    QImage painted = dialog.grab().toImage();
    EXPECT_EQ(painted.pixelColor(150, 20), QColor(Qt::blue)) << "title band";
    EXPECT_EQ(painted.pixelColor(150, 200), QColor(Qt::darkGray)) << "inside";
    EXPECT_EQ(painted.pixelColor(150, 395), QColor(Qt::magenta)) << "bottom edge";
    EXPECT_EQ(painted.pixelColor(295, 200), QColor(Qt::magenta)) << "right edge";
}

TEST(DialogTest, NineSliceKeepsCornersAndStretchesTheRest) {
    QPixmap border = SkinStyle::instance()->pixmap("dialog_border.png");
    NineSlicePicture slices(border, 46, 12, 12, 12);
    EXPECT_EQ(slices.piece(0, 0).size(), QSize(12, 46));
    EXPECT_EQ(slices.piece(1, 1).size(), QSize(36, 22));
    EXPECT_EQ(slices.piece(2, 2).size(), QSize(12, 12));
    QImage canvas(200, 300, QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    slices.draw(painter, canvas.rect());
    painter.end();
    EXPECT_EQ(canvas.pixelColor(5, 40), QColor(Qt::magenta)) << "corner kept";
    EXPECT_EQ(canvas.pixelColor(100, 45), QColor(Qt::blue)) << "top band stretched";
    EXPECT_EQ(canvas.pixelColor(100, 250), QColor(Qt::darkGray)) << "centre stretched";
    EXPECT_EQ(canvas.pixelColor(100, 289), QColor(Qt::magenta)) << "bottom band";

    NineSlicePicture none(QPixmap(), 46, 12, 12, 12);
    EXPECT_TRUE(none.isNull());
}

TEST(DialogTest, ButtonBarNeverShorterThanItsMinimum) {
    QWidget bar;
    auto* row = new BtnHLayout(&bar);
    row->addWidget(new ButtonSkin("main/btn_min.png"));
    EXPECT_EQ(row->sizeHint().height(), 16);
    row->setMinimumHeight(40);
    EXPECT_EQ(row->sizeHint().height(), 40);
    EXPECT_EQ(row->minimumSize().height(), 40);
    EXPECT_EQ(row->contentsMargins(), QMargins(0, 0, 0, 0));

    CustomShowDialog dialog;
    dialog.mainLayout()->addWidget(new QLabel("content"));
    dialog.resize(300, 400);
    dialog.show();
    EXPECT_EQ(dialog.titleBar()->geometry(), QRect(8, 8, 284, 40))
        << "the spare room goes to the content, not the title bar";
}
