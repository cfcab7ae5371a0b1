#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QTemporaryDir>

#include <fstream>

#include "base/video_frame.h"
#include "sources/image_video_source.h"
#include "tests/support/log_capture.h"

namespace {
std::vector<uint8_t> frameOf(const VideoSource& source) {
    std::vector<uint8_t> frame(source.FrameSize());
    if (!source.CopyFrameIfValid(frame.data(), frame.size())) {
        frame.clear();
    }
    return frame;
}

// The pixel at picture position (x, y), y = 0 being the top line, of a
// bottom-row-first 32-bit frame.
QColor pixelAt(const std::vector<uint8_t>& frame, int x, int y) {
    const uint8_t* row = VideoFrame::PictureRow(frame.data(), VideoFrame::kRowBytes32, 480, y);
    const uint8_t* pixel = row + x * 4;
    return QColor(pixel[2], pixel[1], pixel[0]);
}

// Every pixel of a different colour: red from x, green from y, blue fixed.
QImage gradientPicture(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgba(x * 255 / (width - 1), y * 255 / (height - 1), 77, 255));
        }
    }
    return image;
}
}  // namespace

TEST(ImageVideoSourceTest, TheProgramsOwnPictureIsStoredBottomRowFirst) {
    ImageVideoSource placeholder;
    EXPECT_EQ(placeholder.TypeId(), SOURCE_TYPE_PICTURE);
    auto frame = frameOf(placeholder);
    ASSERT_EQ(frame.size(), VideoFrame::kSize32);

    QImage picture(":/JPG/111");
    ASSERT_EQ(picture.size(), QSize(640, 480));
    EXPECT_TRUE(picture.hasAlphaChannel());
    picture = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 480; ++y) {
        // Row y of the picture is row 479 - y in memory.
        ASSERT_EQ(std::memcmp(picture.constScanLine(y),
                              frame.data() + static_cast<size_t>(479 - y) * 2560, 2560),
                  0)
            << "picture line " << y;
    }
    // The picture is not blank: a light mark on a dark background.
    EXPECT_GT(pixelAt(frame, 300, 95).lightness(), 200);  // the camera mark
    EXPECT_LT(pixelAt(frame, 10, 10).lightness(), 80);
}

TEST(ImageVideoSourceTest, PicturesOfOtherSizesAreScaledToFullSize) {
    QTemporaryDir dir;
    QString exact = dir.filePath("exact.png"), small = dir.filePath("small.png");
    ASSERT_TRUE(gradientPicture(640, 480).save(exact));
    ASSERT_TRUE(gradientPicture(64, 48).save(small));

    ImageVideoSource exactSource(exact);
    auto frame = frameOf(exactSource);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(pixelAt(frame, 0, 0), QColor(0, 0, 77));
    EXPECT_EQ(pixelAt(frame, 639, 479), QColor(255, 255, 77));
    EXPECT_EQ(pixelAt(frame, 320, 100), QColor(320 * 255 / 639, 100 * 255 / 479, 77));

    ImageVideoSource smallSource(small);
    auto scaled = frameOf(smallSource);
    ASSERT_EQ(scaled.size(), VideoFrame::kSize32);
    // Bilinear scaling keeps corners and blends smoothly in between.
    EXPECT_EQ(pixelAt(scaled, 0, 0), QColor(0, 0, 77));
    EXPECT_EQ(pixelAt(scaled, 639, 479), QColor(255, 255, 77));
    QColor middle = pixelAt(scaled, 320, 240);
    EXPECT_NEAR(middle.red(), 128, 6);
    EXPECT_NEAR(middle.green(), 128, 8);
    EXPECT_EQ(middle.blue(), 77);
    EXPECT_LT(std::abs(pixelAt(scaled, 101, 50).red() - pixelAt(scaled, 100, 50).red()), 5);
}

TEST(ImageVideoSourceTest, UnreadablePicturesLeaveTheSourceWithoutAFrame) {
    QTemporaryDir dir;
    std::string corrupt = dir.filePath("corrupt.png").toStdString();
    std::ofstream(corrupt) << "\x89PNG\r\n\x1a\nthis is not a picture";
    std::string empty = dir.filePath("empty.png").toStdString();
    std::ofstream{empty};
    // A picture that claims 60000 x 60000 pixels: refused before any memory
    // is spent on it.
    std::string huge = dir.filePath("huge.png").toStdString();
    const unsigned char header[] = {0x89, 'P',  'N', 'G', '\r', '\n', 0x1a, '\n', 0,    0,    0,
                                    13,   'I',  'H', 'D', 'R',  0,    0,    0xEA, 0x60, 0,    0,
                                    0xEA, 0x60, 8,   6,   0,    0,    0,    0x5B, 0x1F, 0x7C, 0x37};
    std::ofstream(huge, std::ios::binary)
        .write(reinterpret_cast<const char*>(header), sizeof header);

    LogCapture log;
    for (const std::string& path :
         {corrupt, empty, huge, dir.filePath("missing.png").toStdString()}) {
        ImageVideoSource source(QString::fromStdString(path));
        EXPECT_FALSE(source.FrameValid()) << path;
        EXPECT_EQ(source.FrameSize(), VideoFrame::kSize32);
    }
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[3].find("missing.png"), std::string::npos);
}

TEST(ImageVideoSourceTest, RunningIsOnlyReported) {
    ImageVideoSource placeholder;
    EXPECT_FALSE(placeholder.IsRunning());
    EXPECT_EQ(placeholder.Start(), 0);
    EXPECT_TRUE(placeholder.IsRunning());
    placeholder.Stop();
    EXPECT_FALSE(placeholder.IsRunning());
    EXPECT_TRUE(placeholder.FrameValid()) << "the picture stays whatever the state";
}

// At 16:9 the placeholder keeps its shape: the middle of the frame is the
// picture scaled by the same factor both ways, and the strips beside it go on
// with the picture's outermost columns, so its disc stays round.
TEST(ImageVideoSourceTest, WideFramesKeepThePicturesShape) {
    QImage original = QImage(":/JPG/111").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(original.size(), QSize(640, 480));
    struct Mode {
        int width, height, left;
    };
    for (Mode mode : {Mode{1280, 720, 160}, Mode{1920, 1080, 240}}) {
        SCOPED_TRACE(mode.width);
        ImageVideoSource placeholder;
        placeholder.SetFrameSize(mode.width, mode.height);
        std::vector<uint8_t> frame(placeholder.FrameSize());
        ASSERT_TRUE(placeholder.CopyFrameIfValid(frame.data(), frame.size()));
        const size_t rowBytes = VideoFrame::RowBytes(mode.width, 32);
        auto at = [&](int x, int y) {
            const uint8_t* row =
                VideoFrame::PictureRow(frame.data(), rowBytes, mode.height, y);
            return QColor(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
        };
        // Bilinear scaling differs from Qt's smooth scaling by a few levels
        // per channel; a stretched picture misses by far more around the
        // disc, the camera mark and the letters.
        QImage uniform = original.scaled(mode.width - 2 * mode.left, mode.height,
                                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double difference = 0;
        for (int y = 0; y < uniform.height(); ++y) {
            for (int x = 0; x < uniform.width(); ++x) {
                QColor want = uniform.pixelColor(x, y), got = at(mode.left + x, y);
                difference += std::abs(want.red() - got.red()) +
                              std::abs(want.green() - got.green()) +
                              std::abs(want.blue() - got.blue());
            }
        }
        EXPECT_LT(difference / (uniform.width() * uniform.height() * 3), 2.0);
        // The strips repeat the outermost columns, line by line.
        for (int y : {0, mode.height / 3, mode.height - 1}) {
            EXPECT_EQ(at(0, y), at(mode.left, y)) << "line " << y;
            EXPECT_EQ(at(mode.width - 1, y), at(mode.width - mode.left - 1, y)) << "line " << y;
        }
    }
}
