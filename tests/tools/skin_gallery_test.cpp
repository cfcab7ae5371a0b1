#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"

namespace {
const auto* const g_gui =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication<QGuiApplication>);

const QStringList kSheets{"buttons", "dialogs", "item-views", "sliders", "pictures", "main-window"};

struct GalleryRun {
    int exitCode;
    QString out, err;
};

GalleryRun gallery(const QStringList& arguments) {
    QProcess process;
    process.start(LUMORA_SKIN_GALLERY, arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// How many distinct colours a sample of the picture shows.
int coloursIn(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7)
            seen.insert(image.pixel(x, y));
    }
    return seen.size();
}
}  // namespace

TEST(SkinGalleryTest, DrawsEverySheetWithTheBuiltSkinAtBothScales) {
    ScratchDir out;
    QString folder = QString::fromStdString(out.file("sheets"));
    GalleryRun plain = gallery({"--skin", LUMORA_BUILT_SKIN, folder});
    ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    GalleryRun sharp = gallery({"--skin", LUMORA_BUILT_SKIN, "--scale", "2", folder});
    ASSERT_EQ(sharp.exitCode, 0) << sharp.err.toStdString();
    for (const QString& sheet : kSheets) {
        QImage one(folder + "/" + sheet + ".png");
        QImage two(folder + "/" + sheet + "@2x.png");
        ASSERT_FALSE(one.isNull()) << sheet.toStdString();
        ASSERT_FALSE(two.isNull()) << sheet.toStdString();
        EXPECT_GT(coloursIn(one), 20) << sheet.toStdString() << " shows real pictures";
        EXPECT_NEAR(two.height(), 2.0 * one.height(), 0.05 * one.height()) << sheet.toStdString();
    }
    EXPECT_TRUE(plain.out.contains(QRegularExpression("buttons\\.png: [1-9][0-9]+ pictures")))
        << plain.out.toStdString();
}

TEST(SkinGalleryTest, RefusesBadUseWithAMessage) {
    ScratchDir out;
    GalleryRun none = gallery({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.err.contains("usage"));
    GalleryRun missing = gallery({"--skin", QString::fromStdString(out.file("nowhere")),
                                  QString::fromStdString(out.file("sheets"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no skin folder"));
    EXPECT_FALSE(QDir(QString::fromStdString(out.file("sheets"))).exists());
}
