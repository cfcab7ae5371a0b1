#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <vector>

#include "libs/overlay/overlay_image.h"

namespace {
constexpr int kFrameWidth = 64;
constexpr int kFrameHeight = 48;

// A mostly transparent picture: several separate shapes per row, opaque and
// half transparent, like a pendant.
QImage pendantLike() {
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.fillRect(2, 3, 6, 20, QColor(255, 0, 0));
    painter.fillRect(12, 0, 5, 30, QColor(0, 255, 0, 128));
    painter.fillRect(25, 10, 15, 4, QColor(30, 60, 200, 200));
    painter.fillRect(39, 29, 1, 1, QColor(255, 255, 255));
    return picture;
}

// The blend done the plain way: picture line by picture line over a grey
// frame, from the premultiplied source picture.
std::vector<uint32_t> blendedPlainly(const QImage& picture, int left, int top) {
    QImage source = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::vector<uint32_t> frame(kFrameWidth * kFrameHeight, 0xFF808080u);
    for (int y = 0; y < source.height(); ++y) {
        int line = top + y;
        for (int x = 0; x < source.width(); ++x) {
            int column = left + x;
            if (line < 0 || line >= kFrameHeight || column < 0 || column >= kFrameWidth) {
                continue;
            }
            uint32_t s = reinterpret_cast<const uint32_t*>(source.constScanLine(y))[x];
            uint32_t& d = frame[(kFrameHeight - 1 - line) * kFrameWidth + column];
            uint32_t keep = 255 - (s >> 24);
            uint32_t out = d & 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                uint32_t v = ((d >> shift) & 0xFF) * keep + 128;
                v = ((s >> shift) & 0xFF) + ((v + (v >> 8)) >> 8);
                out |= (v > 255 ? 255 : v) << shift;
            }
            d = out;
        }
    }
    return frame;
}
}  // namespace

TEST(OverlayImageTest, OnlyVisiblePixelsAreKeptAndTheyLandWhereThePictureSaysAnywhere) {
    QImage picture = pendantLike();
    OverlayImage overlay = overlayFromImage(picture);
    ASSERT_EQ(overlay.width, 40);
    ASSERT_EQ(overlay.height, 30);
    size_t visible = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            visible += qAlpha(picture.pixel(x, y)) != 0;
        }
    }
    EXPECT_EQ(overlay.pixels.size(), visible) << "transparent pixels are not stored";
    EXPECT_LT(overlay.pixels.size(), 40u * 30u / 2);

    // Inside the frame, across each edge and wholly outside it.
    const int places[][2] = {{10, 9}, {-7, 5}, {40, 30}, {30, -12}, {-3, -3}, {80, 80}};
    for (const auto& place : places) {
        std::vector<uint32_t> frame(kFrameWidth * kFrameHeight, 0xFF808080u);
        compositeOverlay(overlay, place[0], place[1], reinterpret_cast<uint8_t*>(frame.data()),
                         kFrameWidth, kFrameHeight);
        EXPECT_EQ(frame, blendedPlainly(picture, place[0], place[1]))
            << "placed at " << place[0] << ", " << place[1];
    }

    OverlayImage nothing = overlayFromImage(QImage());
    EXPECT_TRUE(nothing.empty());
    EXPECT_TRUE(nothing.pixels.empty());
}
