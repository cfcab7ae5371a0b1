#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <cstdlib>

#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"
#include "widgets/button_skin.h"
#include "widgets/play_slider_bar.h"
#include "widgets/skin_style.h"

// This program runs at device pixel ratio 2, as on a high-density screen.
namespace {
class SharpScreen : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_SCALE_FACTOR", "2", 1);
        app_ = makeOffscreenApplication<QApplication>();
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
const auto* const g_screen = ::testing::AddGlobalTestEnvironment(new SharpScreen);

void saveStrip(const ScratchDir& folder, const std::string& name, QList<QColor> colours,
               QSize slice) {
    QImage strip(slice.width() * colours.size(), slice.height(), QImage::Format_ARGB32);
    QPainter painter(&strip);
    for (int i = 0; i < colours.size(); ++i) {
        painter.fillRect(i * slice.width(), 0, slice.width(), slice.height(), colours[i]);
    }
    painter.end();
    strip.save(QString::fromStdString(folder.file(name)));
}
}  // namespace

TEST(HiDpiTest, TheSharpTwinIsLoadedAndSizesStayLogical) {
    ScratchDir skin;
    SkinStyle::instance()->setSkinDirectory(QString::fromStdString(skin.file("")));
    QList<QColor> plain{Qt::red, Qt::green, Qt::blue, Qt::gray};
    QList<QColor> sharp{Qt::darkRed, Qt::darkGreen, Qt::darkBlue, Qt::darkGray};
    saveStrip(skin, "strip.png", plain, {50, 30});
    saveStrip(skin, "strip@2x.png", sharp, {100, 60});
    saveStrip(skin, "only.png", plain, {50, 30});
    saveStrip(skin, "bar.png", {Qt::gray}, {100, 6});
    saveStrip(skin, "bar@2x.png", {Qt::gray}, {200, 12});
    saveStrip(skin, "knob.png", {Qt::white}, {12, 12});
    saveStrip(skin, "knob@2x.png", {Qt::white}, {24, 24});

    ButtonSkin button("strip.png");
    EXPECT_EQ(button.size(), QSize(50, 30)) << "the size is in logical pixels";
    QImage shown = button.grab().toImage();
    EXPECT_EQ(shown.size(), QSize(100, 60));
    EXPECT_EQ(shown.pixelColor(50, 30), QColor(Qt::darkRed)) << "drawn from the @2x picture";
    EXPECT_EQ(SkinStyle::instance()->statePixmap("strip.png", 4, 2).devicePixelRatio(), 2.0);

    ButtonSkin single("only.png");
    EXPECT_EQ(single.size(), QSize(50, 30)) << "without a twin the plain picture is used";
    EXPECT_EQ(single.grab().toImage().pixelColor(50, 30), QColor(Qt::red));

    PlaySliderBar slider("bar.png", "bar.png", "knob.png", 1.0);
    EXPECT_EQ(slider.sizeHint().height(), 12);
    slider.resize(200, 12);
    slider.setMaximum(10);
    slider.grab();
    EXPECT_EQ(slider.trackRect(), QRect(6, 3, 188, 6));
}
