#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <set>

#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"

namespace {
const auto* const g_gui =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication<QGuiApplication>);

// What the user interface loads from the skin folder and how it cuts it:
// skin buttons (radio and tab buttons too) are strips of four states, tile
// frames strips of two, everything else one picture.
struct Expected {
    const char* path;
    int states;
};

const Expected kPictures[] = {
    {"btn_dec.png", 4},
    {"btn_enc.png", 4},
    {"check_normal.png", 4},
    {"check_checked.png", 4},
    {"radio_normal.png", 4},
    {"radio_checked.png", 4},
    {"dialog_border.png", 1},
    {"main/bg_main_left.png", 1},
    {"main/bg_main_right.png", 1},
    {"main/btn_camera_tab.png", 4},
    {"main/btn_effect_tab.png", 4},
    {"main/btn_video_tab.png", 4},
    {"main/btn_pic_tab.png", 4},
    {"main/btn_record_tab.png", 4},
    {"main/btn_live_tab.png", 4},
    {"main/btn_min.png", 4},
    {"main/btn_close.png", 4},
    {"main/bg_combox.png", 1},
    {"main/btn_combox_on.png", 1},
    {"main/btn_combox_off.png", 1},
    {"main/img_scroll_bar.png", 1},
    {"camera/btn_set_param.png", 4},
    {"camera/img_line.png", 1},
    {"effect/btn_prettify.png", 4},
    {"effect/btn_pendant.png", 4},
    {"effect/btn_captions.png", 4},
    {"effect/btn_background.png", 4},
    {"effect/btn_choose_picture.png", 4},
    {"effect/bg_pretiify_frame.png", 2},
    {"effect/btn_add.png", 4},
    {"effect/btn_clear.png", 4},
    {"effect/btn_close.png", 4},
    {"effect/btn_choose_color.png", 4},
    {"effect/btn_open_captions.png", 4},
    {"effect/自然美白.png", 1},
    {"effect/深度美白.png", 1},
    {"effect/自然美肤.png", 1},
    {"effect/唯美.png", 1},
    {"effect/清新.png", 1},
    {"effect/亮度提升.png", 1},
    {"effect/妖姬.png", 1},
    {"effect/暧昧.png", 1},
    {"effect/魅惑.png", 1},
    {"video/bg_video_play.png", 1},
    {"video/bg_video_frame.png", 1},
    {"video/btn_clear.png", 4},
    {"video/btn_delete.png", 4},
    {"video/btn_play.png", 4},
    {"video/img_line.png", 1},
    {"video/img_spacing.png", 1},
    {"video/img_video_other.png", 1},
    {"video_play/bg_video_bar.png", 1},
    {"video_play/bg_video_view.png", 1},
    {"video_play/btn_close_camera1.png", 4},
    {"video_play/btn_close_camera2.png", 4},
    {"video_play/btn_open_camera.png", 4},
    {"video_play/btn_open_camera1.png", 4},
    {"video_play/btn_open_camera2.png", 4},
    {"video_play/btn_volume_muse.png", 4},
    {"video_play/btn_volume_open.png", 4},
    {"video_play/img_video_bar_progress.png", 1},
    {"video_play/img_video_con.png", 1},
    {"pic/bg_pic_frame.png", 2},
    {"record/btn_addvideolist.png", 4},
    {"record/btn_cancel.png", 4},
    {"record/btn_close.png", 4},
    {"record/btn_del.png", 4},
    {"record/btn_ok.png", 4},
    {"record/btn_openfilepos.png", 4},
    {"record/btn_pause.png", 4},
    {"record/btn_record.png", 4},
    {"record/btn_save.png", 4},
    {"record/btn_saveas.png", 4},
    {"record/btn_startplay.png", 4},
    {"record/btn_stoprecord.png", 4},
    {"live/btn_start_live.png", 4},
    {"live/btn_stop_live.png", 4},
    {"live/btn_show_key.png", 4},
    {"live/btn_hide_key.png", 4},
};

struct ToolRun {
    int exitCode;
    QByteArray errors;
    QByteArray output = {};
};

ToolRun runTool(const QString& folder, const QStringList& options = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(LUMORA_SKIN_ART, QStringList{folder} + options);
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1) ||
        process.exitStatus() != QProcess::NormalExit) {
        return {-1, process.readAllStandardError(), process.readAllStandardOutput()};
    }
    return {process.exitCode(), process.readAllStandardError(), process.readAllStandardOutput()};
}

QString twinPath(const QString& path) { return QString(path).replace(".png", "@2x.png"); }

// True when some channel spans a visible range: the picture is not one flat colour.
bool hasVariance(const QImage& picture) {
    QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    int low[4] = {255, 255, 255, 255}, high[4] = {0, 0, 0, 0};
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            QRgb pixel = argb.pixel(x, y);
            const int channels[4] = {qRed(pixel), qGreen(pixel), qBlue(pixel), qAlpha(pixel)};
            for (int c = 0; c < 4; ++c) {
                low[c] = std::min(low[c], channels[c]);
                high[c] = std::max(high[c], channels[c]);
            }
        }
    }
    for (int c = 0; c < 4; ++c) {
        if (high[c] - low[c] >= 16) {
            return true;
        }
    }
    return false;
}

QList<QImage> slicesOf(const QImage& strip, int states) {
    QList<QImage> slices;
    const int width = strip.width() / states;
    for (int i = 0; i < states; ++i) {
        slices << strip.copy(i * width, 0, width, strip.height());
    }
    return slices;
}

struct Mean {
    double red = 0, green = 0, blue = 0;
    double luma() const { return 0.299 * red + 0.587 * green + 0.114 * blue; }
};

// The mean colour of an icon's upper part, above any label.
Mean meanOfFace(const QImage& icon) {
    Mean mean;
    const int rows = icon.height() * 2 / 3;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            QRgb pixel = icon.pixel(x, y);
            mean.red += qRed(pixel);
            mean.green += qGreen(pixel);
            mean.blue += qBlue(pixel);
        }
    }
    const double count = static_cast<double>(rows) * icon.width();
    mean.red /= count;
    mean.green /= count;
    mean.blue /= count;
    return mean;
}

QHash<QString, QByteArray> contentsOf(const QString& folder) {
    QHash<QString, QByteArray> contents;
    QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly)) {
            contents.insert(file.fileName(), file.readAll());
        }
    }
    return contents;
}
}  // namespace

class SkinArtTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchDir;
        first_ = runTool(skin());
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(first_.exitCode, 0) << first_.errors.toStdString(); }

    static QString skin() { return QString::fromStdString(scratch_->file("skin")); }
    static QImage load(const QString& relativePath) { return QImage(skin() + "/" + relativePath); }
    // The logical size of one state of a picture.
    static QSize sliceOf(const char* relativePath, int states) {
        QImage picture = load(relativePath);
        return {picture.width() / states, picture.height()};
    }

    static ScratchDir* scratch_;
    static ToolRun first_;
};
ScratchDir* SkinArtTest::scratch_ = nullptr;
ToolRun SkinArtTest::first_{};

TEST_F(SkinArtTest, EveryPictureExistsLoadsAndIsNotBlankAtBothScales) {
    for (const Expected& expected : kPictures) {
        SCOPED_TRACE(expected.path);
        QImage single = load(expected.path);
        QImage twin = load(twinPath(expected.path));
        ASSERT_FALSE(single.isNull());
        ASSERT_FALSE(twin.isNull());
        EXPECT_EQ(twin.size(), single.size() * 2) << "the @2x file is exactly double";
        EXPECT_TRUE(hasVariance(single));
        EXPECT_TRUE(hasVariance(twin));
    }
}

TEST_F(SkinArtTest, StateStripsCutIntoStatesThatLookDifferent) {
    for (const Expected& expected : kPictures) {
        if (expected.states == 1) {
            continue;
        }
        SCOPED_TRACE(expected.path);
        for (const QImage& strip : {load(expected.path), load(twinPath(expected.path))}) {
            ASSERT_EQ(strip.width() % expected.states, 0);
            QList<QImage> slices = slicesOf(strip, expected.states);
            for (int a = 0; a < slices.size(); ++a) {
                for (int b = a + 1; b < slices.size(); ++b) {
                    EXPECT_NE(slices[a], slices[b]) << "states " << a << " and " << b;
                }
            }
        }
    }
}

TEST_F(SkinArtTest, PicturesFitTheWindowAndThePanelsThatUseThem) {
    // The two backgrounds side by side fill the 982 x 648 main window.
    QImage left = load("main/bg_main_left.png"), right = load("main/bg_main_right.png");
    EXPECT_EQ(left.width() + right.width(), 982);
    EXPECT_EQ(left.height(), 648);
    EXPECT_EQ(right.height(), 648);
    // The preview's 640 x 480 view (the preview area is 650 wide) lies on the left one.
    EXPECT_GE(left.width(), 8 + 650);
    // The six tab buttons (spacing 1, margin 4) fit the right one inside its 8-pixel margin.
    QSize tab = sliceOf("main/btn_camera_tab.png", 4);
    EXPECT_LE(6 * tab.width() + 5 * 1 + 2 * 4, right.width() - 8);
    // The stage takes the view's size; the open-camera button at (235, 290) stays on it.
    QImage stage = load("video_play/bg_video_view.png");
    EXPECT_EQ(stage.size(), QSize(640, 480));
    QSize openCamera = sliceOf("video_play/btn_open_camera.png", 4);
    EXPECT_LE(235 + openCamera.width(), 640);
    EXPECT_LE(290 + openCamera.height(), 480);
    // The preset frame is drawn unscaled at (0, 0) over a 61 x 80 tile; the
    // picture frame is scaled into a square tile.
    EXPECT_EQ(sliceOf("effect/bg_pretiify_frame.png", 2), QSize(61, 80));
    QSize picFrame = sliceOf("pic/bg_pic_frame.png", 2);
    EXPECT_EQ(picFrame.width(), picFrame.height());
    // The colour button shows its colour through (4, 4, 22, 22) in every state.
    QImage colour = load("effect/btn_choose_color.png");
    QSize swatch = sliceOf("effect/btn_choose_color.png", 4);
    ASSERT_GE(swatch.width(), 30);
    ASSERT_GE(swatch.height(), 30);
    for (int state = 0; state < 4; ++state) {
        EXPECT_EQ(qAlpha(colour.pixel(state * swatch.width() + 15, 15)), 0) << state;
    }
}

TEST_F(SkinArtTest, DialogBorderIsLargeEnoughForItsNineSliceCuts) {
    QImage border = load("dialog_border.png");
    // Whole border: top 46, right 12, bottom 12, left 12, with a centre left over.
    EXPECT_GT(border.width(), 12 + 12);
    EXPECT_GE(border.height(), 80);
    // Confirmation dialog: rows 0..H-13 cut top 46 and bottom 10, the last 31 rows top 10 and
    // bottom 12, each with a centre row.
    EXPECT_GT(border.height() - 12, 46 + 10);
    EXPECT_GE(border.height() - 31, 46) << "the lower piece lies under the title band";
    // A title band over the top 46 rows, unlike the body under it.
    const int middle = border.width() / 2;
    EXPECT_NE(border.pixel(middle, 24), border.pixel(middle, (46 + border.height() - 12) / 2));
    // The body is opaque: dialogs are masked, not translucent.
    EXPECT_EQ(qAlpha(border.pixel(middle, border.height() / 2)), 255);
}

TEST_F(SkinArtTest, PresetIconsShowWhatEachPresetDoesToTheFace) {
    auto mean = [&](const char* name) {
        QImage icon = load(QString("effect/%1.png").arg(QString::fromUtf8(name)));
        EXPECT_EQ(icon.width(), icon.height()) << name;
        return meanOfFace(icon);
    };
    // Stronger curve, brighter face.
    EXPECT_GT(mean("深度美白").luma(), mean("自然美白").luma());
    // Adding 55 to every channel outshines adding 39 red and 38 green.
    EXPECT_GT(mean("亮度提升").luma(), mean("唯美").luma());
    // The tints: red for 暧昧, blue for 妖姬, green for 清新, red and blue for 魅惑,
    // red and green (warm) for 唯美.
    auto redOverBlue = [](Mean m) { return m.red - m.blue; };
    EXPECT_GT(redOverBlue(mean("暧昧")), redOverBlue(mean("妖姬")));
    auto greenOverRed = [](Mean m) { return m.green - m.red; };
    EXPECT_GT(greenOverRed(mean("清新")), greenOverRed(mean("暧昧")));
    auto blueOverGreen = [](Mean m) { return m.blue - m.green; };
    EXPECT_GT(blueOverGreen(mean("魅惑")), blueOverGreen(mean("清新")));
    auto warmth = [](Mean m) { return (m.red + m.green) / 2 - m.blue; };
    EXPECT_GT(warmth(mean("唯美")), warmth(mean("妖姬")));
}

TEST_F(SkinArtTest, AppIconIsAnIcoFileWithSeveralSizesThatAllDecode) {
    QFile file(skin() + "/app.ico");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 6);
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    EXPECT_EQ(qFromLittleEndian<quint16>(data), 0);
    EXPECT_EQ(qFromLittleEndian<quint16>(data + 2), 1) << "type 1: icon";
    const int count = qFromLittleEndian<quint16>(data + 4);
    ASSERT_GE(bytes.size(), 6 + 16 * count);
    std::set<int> sizes;
    for (int i = 0; i < count; ++i) {
        const uchar* entry = data + 6 + 16 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        const int height = entry[1] == 0 ? 256 : entry[1];
        const quint32 length = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        ASSERT_LE(qint64(offset) + length, bytes.size()) << "entry " << i;
        QImage image = QImage::fromData(bytes.mid(offset, length));
        ASSERT_FALSE(image.isNull()) << "entry " << i;
        EXPECT_EQ(image.size(), QSize(width, height));
        EXPECT_TRUE(hasVariance(image));
        sizes.insert(width);
    }
    EXPECT_GE(sizes.size(), 4u);
    EXPECT_TRUE(sizes.count(16) && sizes.count(32) && sizes.count(256));
}

TEST_F(SkinArtTest, RunsAgainIntoTheSameFolderAndFailsLoudlyWhereItCannotWrite) {
    const QHash<QString, QByteArray> before = contentsOf(skin());
    ToolRun again = runTool(skin());
    EXPECT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_EQ(contentsOf(skin()), before) << "the same pictures, byte for byte";

    QFile blocker(QString::fromStdString(scratch_->file("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ToolRun blocked = runTool(blocker.fileName() + "/skin");
    EXPECT_NE(blocked.exitCode, 0);
    EXPECT_FALSE(blocked.errors.trimmed().isEmpty());
}

// Every label of the buttons is drawn at the size of the others, in Chinese
// and in English: a longer English word in a small button (the camera
// page's "Settings") leaves its glyph out rather than shrink its letters.
TEST(SkinArtLabelsTest, NoLabelIsDrawnSmallerInEitherLanguage) {
    QTemporaryDir folder;
    ToolRun run = runTool(folder.filePath("skin"), {"--english", LUMORA_ENGLISH_CATALOGUE});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.output.contains("drawn smaller")) << run.output.toStdString();
    EXPECT_TRUE(QFile::exists(folder.filePath("skin/en/camera/btn_set_param.png")));
}
