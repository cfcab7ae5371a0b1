#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsSceneMouseEvent>
#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTest>

#include "app/media_site.h"
#include "app/settings_db.h"
#include "engine/play_graph.h"
#include "sources/pic_file_source.h"
#include "tests/support/frame_log.h"
#include "tests/support/test_components.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/pic_control_view.h"
#include "ui/pic_graphic_view.h"
#include "widgets/button_skin.h"
#include "widgets/custom_file_dialog.h"
#include "widgets/pic_item.h"

namespace {
QString makePicture(const ScratchDir& folder, const std::string& name, QColor colour,
                    QSize size = {320, 240}) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    QString path = QString::fromStdString(folder.file(name));
    EXPECT_TRUE(picture.save(path));
    return path;
}

void forgetPictures() {
    SettingsDb::instance()->saveStringList("Pics", {});
    SettingsDb::instance()->saveMap(4, {{"playseq", "0"}, {"keepRatio", "0"}});
}

bool slideshowInGraph(PicFileSource* source) {
    return PlayGraph::Instance()->FindSourceByType(SOURCE_TYPE_PICTURE) == source;
}

// The colour at the middle of the graph's next picture.
std::string nextColourShown(RecordingOutput& output) {
    std::vector<uint8_t> picture = output.nextPicture();
    if (picture.empty())
        return "none";
    size_t middle = (240 * 640 + 320) * 4;
    return nearestColour(picture.data() + middle);
}

void doubleClick(PicGraphicView* grid, PicItem* tile) {
    grid->scene()->clearSelection();
    tile->setSelected(true);
    QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseDoubleClick);
    event.setButton(Qt::LeftButton);
    grid->scene()->sendEvent(tile, &event);
}
}  // namespace

TEST(PicPanelTest, AHundredPicturesArriveAFewAtATimeWithoutBlocking) {
    forgetPictures();
    ScratchDir folder;
    QStringList paths;
    for (int i = 0; i < 100; ++i) {
        paths << makePicture(folder, "p" + std::to_string(100 + i) + ".png",
                             QColor::fromHsv(i * 3, 200, 200), {64, 48});
    }
    PicControlView page;
    page.resize(316, 532);
    page.show();
    settle();
    page.grid()->push(paths);
    std::vector<int> seen;
    QElapsedTimer clock;
    clock.start();
    while (page.grid()->tileCount() < 100 && clock.elapsed() < 30000) {
        QTest::qWait(100);  // the loop runs: repaints, timers, input
        seen.push_back(page.grid()->tileCount());
    }
    EXPECT_EQ(page.grid()->tileCount(), 100);
    int partial = std::count_if(seen.begin(), seen.end(), [](int n) { return n > 0 && n < 100; });
    EXPECT_GE(partial, 3) << "the tiles come in while the page keeps running";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    page.grid()->addPic(paths[0]);
    page.grid()->addPic(QString::fromStdString(folder.file("missing.png")));
    EXPECT_EQ(page.grid()->tileCount(), 100) << "listed or missing: nothing added";
    page.grid()->clearPics();
}

TEST(PicPanelTest, DoubleClickStartsTheSlideshowAtThatPicture) {
    forgetPictures();
    ScratchDir folder;
    QString red = makePicture(folder, "1 red.png", Qt::red);
    QString blue = makePicture(folder, "2 blue.png", Qt::blue);
    QString green = makePicture(folder, "3 green.png", QColor(0, 255, 0));
    RecordingOutput output;
    PlayGraph::Instance()->AddOutput(&output);
    PlayGraph::Instance()->Start();
    {
        PicControlView page;
        settle();
        page.playOrderBox()->setCurrentIndex(1);
        for (const QString& path : {red, blue, green})
            page.grid()->addPic(path);
        doubleClick(page.grid(), page.grid()->tileOf(green));
        EXPECT_TRUE(slideshowInGraph(page.grid()->source()));
        EXPECT_TRUE(waitFor([&] { return nextColourShown(output) == "green"; }));

        page.grid()->tileOf(green)->setSelected(false);
        page.grid()->playSelected();
        EXPECT_TRUE(slideshowInGraph(page.grid()->source())) << "nothing selected: still plays";

        for (const QString& path : {red, blue})
            page.grid()->removePic(path);
        EXPECT_TRUE(slideshowInGraph(page.grid()->source()));
        page.grid()->removePic(green);
        EXPECT_FALSE(slideshowInGraph(page.grid()->source())) << "the last picture went";
    }
    PlayGraph::Instance()->RemoveOutput(&output);
}

TEST(PicPanelTest, TheListOrderAndFittingComeBackEvenIfClosedEarly) {
    forgetPictures();
    ScratchDir folder;
    QStringList paths;
    for (int i = 0; i < 30; ++i) {
        paths << makePicture(folder, "q" + std::to_string(10 + i) + ".png", Qt::gray, {32, 32});
    }
    {
        PicControlView page;
        settle();
        page.playOrderBox()->setCurrentIndex(1);
        page.fittingBox()->setCurrentIndex(1);
        page.grid()->push(paths);
        QTest::qWait(100);
        EXPECT_LT(page.grid()->tileCount(), 30) << "closed while pictures still come in";
    }
    QStringList saved;
    SettingsDb::instance()->loadStringList("Pics", saved);
    EXPECT_EQ(saved, paths) << "the pictures on their way are saved too";

    PicControlView again;
    settle();
    EXPECT_EQ(again.playOrderBox()->currentIndex(), 1);
    EXPECT_EQ(again.fittingBox()->currentIndex(), 1);
    EXPECT_EQ(again.grid()->source()->PlaySequence(), 1);
    EXPECT_TRUE(waitFor([&] { return again.grid()->tileCount() == 30; }));
    again.grid()->clearPics();
}

namespace {
QImage rendered(QGraphicsItem* item) {
    QImage image(80, 80, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionGraphicsItem option;
    item->paint(&painter, &option, nullptr);
    return image;
}

bool isSignRed(QColor colour) {
    return colour.red() > 200 && colour.green() < 100 && colour.blue() < 100;
}

QString makeUnreadable(const ScratchDir& folder, const std::string& name) {
    QString path = QString::fromStdString(folder.file(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\n but nothing after it");
    return path;
}

QStringList savedPictures() {
    QStringList saved;
    SettingsDb::instance()->loadStringList("Pics", saved);
    return saved;
}
}  // namespace

TEST(PicPanelTest, AnUnreadablePictureIsMarkedWithWhyAndLeftOutOfTheSlideshow) {
    forgetPictures();
    ScratchDir folder;
    QString broken = makeUnreadable(folder, "1 broken.png");
    QString green = makePicture(folder, "2 green.png", QColor(0, 255, 0));
    RecordingOutput output;
    PlayGraph::Instance()->AddOutput(&output);
    PlayGraph::Instance()->Start();
    {
        PicControlView page;
        settle();
        page.grid()->addPic(broken);
        page.grid()->addPic(green);
        ASSERT_EQ(page.grid()->tileCount(), 2) << "listed, so that it can be removed";
        PicItem* tile = page.grid()->tileOf(broken);
        EXPECT_TRUE(tile->problem().startsWith("无法读取")) << tile->problem().toStdString();
        EXPECT_EQ(tile->toolTip(), "1 broken.png\n" + tile->problem());
        EXPECT_TRUE(page.grid()->tileOf(green)->problem().isEmpty());
        QImage shown = rendered(tile);
        EXPECT_TRUE(isSignRed(shown.pixelColor(35, 26))) << "the sign, left of its middle";
        QImage good = rendered(page.grid()->tileOf(green));
        EXPECT_FALSE(isSignRed(good.pixelColor(35, 26)));

        // Chosen for the slideshow, it is passed over: the readable one shows.
        doubleClick(page.grid(), tile);
        EXPECT_TRUE(slideshowInGraph(page.grid()->source()));
        EXPECT_TRUE(waitFor([&] { return nextColourShown(output) == "green"; }));

        // Mended and added again, it is read once more.
        QFile::remove(broken);
        QImage blue(64, 48, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        ASSERT_TRUE(blue.save(broken, "PNG"));
        page.grid()->addPic(broken);
        ASSERT_EQ(page.grid()->tileCount(), 2);
        EXPECT_TRUE(page.grid()->tileOf(broken)->problem().isEmpty());
        EXPECT_FALSE(page.grid()->tileOf(broken)->picture().isNull());
        page.grid()->clearPics();
    }
    PlayGraph::Instance()->RemoveOutput(&output);
}

TEST(PicPanelTest, ClearedAndMissingPicturesDoNotComeBack) {
    forgetPictures();
    ScratchDir folder;
    QStringList paths;
    for (int i = 0; i < 30; ++i) {
        paths << makePicture(folder, "c" + std::to_string(10 + i) + ".png", Qt::gray, {32, 32});
    }
    QString missing = QString::fromStdString(folder.file("never there.png"));
    {
        PicControlView page;
        settle();
        page.grid()->push(paths);
        ASSERT_TRUE(waitFor([&] { return page.grid()->tileCount() > 0; }));
        ASSERT_FALSE(page.grid()->waiting().isEmpty()) << "cleared while pictures come in";
        page.grid()->clearPics();
        // A name with no file behind it, after them in the queue: once it is
        // taken, whatever waited before it has been handled too.
        page.grid()->push({missing});
        EXPECT_TRUE(waitFor([&] { return page.grid()->waiting().isEmpty(); }));
        EXPECT_EQ(page.grid()->tileCount(), 0) << "nothing comes back after a clear";
        page.grid()->addPic(paths[0]);
    }
    EXPECT_EQ(savedPictures(), QStringList{paths[0]})
        << "neither the cleared pictures nor a name with no file are kept";

    // A saved picture missing at start-up (an unplugged drive) is kept for
    // when it returns, until the list is cleared.
    SettingsDb::instance()->saveStringList("Pics", {paths[0], missing});
    {
        PicControlView page;
        settle();
        EXPECT_TRUE(waitFor([&] { return page.grid()->tileCount() == 1; }));
    }
    EXPECT_EQ(savedPictures(), (QStringList{paths[0], missing}));
    {
        PicControlView page;
        settle();
        page.grid()->clearPics();
    }
    EXPECT_TRUE(savedPictures().isEmpty());
}

TEST(PicPanelTest, TheAddDialogOffersThePicturesFirstThenGifAndAnyFile) {
    // Notes what the add button asks for and chooses nothing.
    struct FilterWatch : FileChooser {
        QString filter;
        QStringList openFileNames(QWidget*, const QString&, const QString&, const QString& asked,
                                  QFileDialog::Options) override {
            filter = asked;
            return {};
        }
    } watch;
    CustomFileDialog::setChooser(&watch);
    PicControlView page;
    settle();
    for (ButtonSkin* button : page.findChildren<ButtonSkin*>()) {
        if (button->imagePath() == "effect/btn_add.png")
            button->click();
    }
    CustomFileDialog::setChooser(nullptr);
    QStringList choices = watch.filter.split(";;");
    ASSERT_EQ(choices.size(), 3) << watch.filter.toStdString();
    EXPECT_EQ(choices[0], "图片文件 (*.JPG *.PNG *.Jpeg *.BMP)");
    EXPECT_EQ(choices[1], "GIF 图片 (*.gif)");
    EXPECT_EQ(choices[2], "所有文件 (*)");
}

// Every change is on the disk at once, so a crash or a kill loses none: the
// pictures added (before their tiles come in) and removed, the play order
// and the fitting, names holding ';' included.
TEST(PicPanelTest, EachChangeIsSavedAtOnceWhateverThePictureIsCalled) {
    forgetPictures();
    ScratchDir folder;
    QString odd = makePicture(folder, "my;pic 中文.png", Qt::red);
    QString plain = makePicture(folder, "plain.png", Qt::blue);
    auto savedChoices = [] {
        QMap<QString, QString> map;
        SettingsDb::instance()->loadMap(4, map);
        return map;
    };
    QStringList both{odd, plain};
    both.sort();

    PicControlView page;
    settle();
    page.grid()->push({odd, plain});
    EXPECT_EQ(savedPictures(), both) << "saved as they are listed";
    page.playOrderBox()->setCurrentIndex(1);
    page.fittingBox()->setCurrentIndex(1);
    EXPECT_EQ(savedChoices(), (QMap<QString, QString>{{"playseq", "1"}, {"keepRatio", "1"}}));
    ASSERT_TRUE(waitFor([&] { return page.grid()->tileCount() == 2; }));
    page.grid()->removePic(plain);
    EXPECT_EQ(savedPictures(), QStringList{odd});
    {
        PicControlView nextStart;
        settle();
        EXPECT_TRUE(waitFor([&] { return nextStart.grid()->tileOf(odd) != nullptr; }));
        EXPECT_EQ(nextStart.grid()->tileCount(), 1);
        EXPECT_EQ(nextStart.playOrderBox()->currentIndex(), 1);
        EXPECT_EQ(nextStart.fittingBox()->currentIndex(), 1);
    }
    EXPECT_EQ(savedPictures(), QStringList{odd}) << "putting the list back saves nothing less";
    page.grid()->clearPics();
    EXPECT_TRUE(savedPictures().isEmpty());
}
