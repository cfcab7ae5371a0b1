#include <gtest/gtest.h>

#include <QTest>

#include "widgets/play_slider_bar.h"

namespace {
struct Slider {
    PlaySliderBar bar{"bar.png", "progress.png", "handle.png", 1.0};
    std::vector<int> changing, changed;
    Slider() {
        bar.resize(200, 20);
        bar.setMaximum(100);
        QObject::connect(&bar, &PlaySliderBar::valueChanging,
                         [this](int v) { changing.push_back(v); });
        QObject::connect(&bar, &PlaySliderBar::valueChanged,
                         [this](int v) { changed.push_back(v); });
        bar.grab();  // paints, which places the track and the handle
    }
};
}  // namespace

// The skin pictures come from the environment of button_test.cpp.
TEST(PlaySliderBarTest, TheTrackSitsBetweenHalfHandlesAndClicksBesideItGoToTheEnds) {
    Slider slider;
    EXPECT_EQ(slider.bar.trackRect(), QRect(6, 7, 188, 6));
    EXPECT_EQ(slider.bar.sizeHint().height(), 12);

    QTest::mouseClick(&slider.bar, Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_EQ(slider.changed, std::vector<int>{0}) << "left of the track: the minimum, once";
    QTest::mouseClick(&slider.bar, Qt::LeftButton, {}, QPoint(198, 10));
    EXPECT_EQ(slider.changed, (std::vector<int>{0, 100})) << "right of it: the maximum";
    QTest::mouseClick(&slider.bar, Qt::LeftButton, {}, QPoint(6 + 94, 10));
    EXPECT_EQ(slider.bar.value(), 50);
    EXPECT_TRUE(slider.changing.empty()) << "clicks do not drag";

    slider.bar.setValue(150);
    EXPECT_EQ(slider.bar.value(), 50) << "outside the range: ignored";
}

TEST(PlaySliderBarTest, DraggingTheHandleAnnouncesEveryChange) {
    Slider slider;
    slider.bar.setValue(0);
    slider.bar.grab();
    QPoint handle = slider.bar.handleRect().center();
    QTest::mousePress(&slider.bar, Qt::LeftButton, {}, handle);
    QTest::mouseMove(&slider.bar, QPoint(6 + 47, 10));
    QTest::mouseMove(&slider.bar, QPoint(6 + 141, 10));
    QTest::mouseRelease(&slider.bar, Qt::LeftButton, {}, QPoint(6 + 141, 10));
    EXPECT_EQ(slider.changing, (std::vector<int>{25, 75}));
    EXPECT_EQ(slider.changed, std::vector<int>{75});
}

TEST(PlaySliderBarTest, WithMaximumZeroTheHandleRestsAtTheLeftEnd) {
    Slider slider;
    slider.bar.setMaximum(0);
    slider.bar.setValue(0);
    QImage shown = slider.bar.grab().toImage();
    EXPECT_EQ(slider.bar.handleRect().left(), 0) << "the track's left end minus half a handle";
    EXPECT_NE(shown.pixelColor(60, 10), QColor(Qt::cyan)) << "no progress drawn";
}
