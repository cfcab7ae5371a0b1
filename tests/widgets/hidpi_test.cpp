#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <cstdlib>

#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"
#include "widgets/button_skin.h"
#include "widgets/pic_item.h"
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

TEST(HiDpiTest, APictureTileShowsItsPictureInTheScreensPixels) {
    // Every column unlike the next, so that an enlarged picture shows as
    // pairs of equal columns.
    QImage source(400, 400, QImage::Format_RGB32);
    for (int x = 0; x < source.width(); ++x) {
        for (int y = 0; y < source.height(); ++y) {
            source.setPixel(x, y, qRgb((x * 7) % 256, (x * 13) % 256, 128 + y % 128));
        }
    }
    PicItem tile(100, 100, QPixmap::fromImage(source));
    EXPECT_EQ(tile.picture().devicePixelRatio(), 2.0);
    EXPECT_EQ(logicalSize(tile.picture()), QSize(92, 92)) << "the tile less its border";

    QImage drawn(200, 200, QImage::Format_ARGB32);
    drawn.setDevicePixelRatio(2.0);
    drawn.fill(Qt::black);
    QPainter painter(&drawn);
    tile.paint(&painter, nullptr, nullptr);
    painter.end();
    // The picture covers pixels 8 to 191 each way.
    int pairs = 0;
    for (int x = 10; x < 190; x += 2) {
        pairs += drawn.pixel(x, 100) == drawn.pixel(x + 1, 100) ? 1 : 0;
    }
    EXPECT_LT(pairs, 9) << "the picture is not one of the tile's logical size enlarged";
    EXPECT_NE(drawn.pixel(8, 8), qRgb(0, 0, 0)) << "it fills the tile's inside";
    EXPECT_NE(drawn.pixel(191, 191), qRgb(0, 0, 0));
}
