#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <cstdlib>

#include "app/settings_db.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/pic_graphic_view.h"
#include "ui/ui_kit.h"
#include "widgets/pic_item.h"
#include "widgets/skin_style.h"

// This program runs at device pixel ratio 2, as on a high-density screen:
// set before the shared environment makes the application.
namespace {
const bool g_sharpScreen = setenv("QT_SCALE_FACTOR", "2", 1) == 0;

// A picture in which every column differs from the next.
QImage stripedPicture(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    for (int x = 0; x < size.width(); ++x) {
        for (int y = 0; y < size.height(); ++y) {
            picture.setPixel(x, y, qRgb((x * 7) % 256, (x * 13) % 256, 128 + y % 128));
        }
    }
    return picture;
}

// How many of the row's neighbouring pairs of columns are equal: all of
// them in a picture enlarged two times by repeating its pixels.
int equalPairs(const QImage& picture, int row) {
    int pairs = 0;
    for (int x = 0; x + 1 < picture.width(); x += 2) {
        pairs += picture.pixel(x, row) == picture.pixel(x + 1, row) ? 1 : 0;
    }
    return pairs;
}
}  // namespace

TEST(HiDpiPanelTest, ThumbnailsAndFramesAreMadeInTheScreensPixels) {
    ASSERT_TRUE(g_sharpScreen);
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0);

    // A video's thumbnail or a pendant's frame, shrunk to cover its place.
    QPixmap covering = coveringPicture(QPixmap::fromImage(stripedPicture({400, 300})), {69, 47});
    EXPECT_EQ(covering.devicePixelRatio(), 2.0);
    EXPECT_GE(covering.width(), 138);
    EXPECT_GE(covering.height(), 94);
    EXPECT_GE(logicalSize(covering).width(), 69) << "it still covers the logical place";

    // A picture in the picture list: read at twice its tile's size.
    SettingsDb::instance()->saveStringList("Pics", {});
    ScratchDir folder;
    QString path = QString::fromStdString(folder.file("stripes.png"));
    ASSERT_TRUE(stripedPicture({400, 400}).save(path));
    PicGraphicView grid;
    grid.setTileSize(80, 80);
    settle();
    grid.push({path});
    ASSERT_TRUE(waitFor([&] { return grid.tileOf(path) != nullptr; }));
    QPixmap shown = grid.tileOf(path)->picture();
    EXPECT_EQ(shown.devicePixelRatio(), 2.0);
    EXPECT_EQ(logicalSize(shown), QSize(72, 72));
    QImage pixels = shown.toImage();
    EXPECT_LT(equalPairs(pixels, pixels.height() / 2), 8) << "not the tile's logical size enlarged";
}
