#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QTest>

#include "tests/widgets/widget_test_skin.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

namespace {

void enter(QWidget& widget) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&widget, &event);
}

void leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}
}  // namespace

TEST(ButtonTest, AStripOf200PixelsGivesFour50PixelStatesLoadedOnce) {
    SkinStyle* skin = SkinStyle::instance();
    int before = skin->filesLoaded();
    ButtonSkin button("strip.png");
    EXPECT_EQ(button.size(), QSize(50, 30)) << "fixed to the normal picture";
    EXPECT_EQ(skin->statePixmap("strip.png", 4, 3).width(), 50);
    ButtonSkin again("strip.png");
    EXPECT_EQ(skin->filesLoaded(), before + 1) << "the file is read once for its slices";
    EXPECT_EQ(skin->pixmap("strip.png").width(), 200);
    EXPECT_EQ(skin->filesLoaded(), before + 2) << "the whole strip was not kept beside them";
    EXPECT_EQ(skin->statePixmap("strip.png", 2, 1).width(), 100);
    EXPECT_EQ(skin->filesLoaded(), before + 2) << "other slices come from the kept whole";
    EXPECT_EQ(shown(button), QColor(Qt::red)) << "normal";
    enter(button);
    EXPECT_EQ(button.state(), Button::Hover);
    EXPECT_EQ(shown(button), QColor(Qt::green));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(shown(button), QColor(Qt::blue)) << "pressed";
    button.setEnabled(false);
    EXPECT_EQ(shown(button), QColor(Qt::gray)) << "disabled";
    EXPECT_TRUE(skin->pixmap("missing.png").isNull());
    EXPECT_TRUE(skin->statePixmap("missing.png", 4, 1).isNull());

    // An uncached picture is the same picture, read again at every call.
    int beforeUncached = skin->filesLoaded();
    QPixmap fresh = skin->uncachedPixmap("strip.png");
    EXPECT_EQ(fresh.toImage(), skin->pixmap("strip.png").toImage());
    skin->uncachedPixmap("strip.png");
    EXPECT_EQ(skin->filesLoaded(), beforeUncached + 2);
    EXPECT_TRUE(skin->uncachedPixmap("missing.png").isNull());
}

TEST(ButtonTest, TheStateMachineAndItsClicks) {
    ButtonSkin button("strip.png");
    int clicks = 0;
    QObject::connect(&button, &Button::clicked, [&] { ++clicks; });

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.state(), Button::Pressed);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(80, 10));
    EXPECT_EQ(clicks, 0) << "released outside: nothing";
    EXPECT_EQ(button.state(), Button::Pressed);
    leave(button);
    EXPECT_EQ(button.state(), Button::Normal);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(50, 30));
    EXPECT_EQ(clicks, 1) << "the edge counts as inside";
    EXPECT_EQ(button.state(), Button::Released);

    button.setEnabled(false);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    enter(button);
    leave(button);
    button.click();
    EXPECT_EQ(button.state(), Button::Disabled) << "a disabled button ignores everything";
    EXPECT_EQ(clicks, 1);
    button.setEnabled(true);
    EXPECT_EQ(button.state(), Button::Normal);
    button.click(false);
    EXPECT_EQ(clicks, 1);
    button.click();
    EXPECT_EQ(clicks, 2) << "a programmatic click";
}

TEST(ButtonTest, SelectedLookMissingPicturesAndSquareStates) {
    ButtonSkin button("strip.png");
    button.setSelected(true);
    EXPECT_EQ(shown(button), QColor(Qt::blue)) << "selected shows the pressed slice";

    Button bare;
    bare.resize(20, 20);
    EXPECT_EQ(shown(bare), QColor(Qt::white)) << "no picture: white";
    enter(bare);
    EXPECT_EQ(shown(bare), QColor(193, 233, 233));
    bare.setSelected(true);
    EXPECT_EQ(shown(bare), QColor(125, 185, 216));
    bare.setSelected(false);
    bare.setEnabled(false);
    EXPECT_EQ(shown(bare), QColor(Qt::green));

    ButtonSkin square("square.png", nullptr, true);
    EXPECT_EQ(square.size(), QSize(30, 30));
    enter(square);
    EXPECT_EQ(shown(square), QColor(Qt::green)) << "the second square is hover";
    QTest::mousePress(&square, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(shown(square), QColor(Qt::red)) << "two states only: pressed looks normal";
    square.setImage("strip.png");
    EXPECT_EQ(square.size(), QSize(50, 30));
}

TEST(ButtonTest, ARadioTogglesBeforeItsClickIsAnnounced) {
    ButtonRadioSkin radio("on.png", "off.png");
    radio.setSelected(false);
    bool seenChecked = false;
    QObject::connect(&radio, &Button::clicked, [&] { seenChecked = radio.isSelected(); });
    QTest::mousePress(&radio, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&radio, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(seenChecked);
    EXPECT_EQ(radio.imagePath(), "on.png");
    QTest::mouseRelease(&radio, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(radio.isSelected());
    EXPECT_EQ(radio.imagePath(), "off.png");
}
