#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTest>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "app/settings_db.h"
#include "engine/play_graph.h"
#include "sources/video_file_source.h"
#include "tests/support/frame_log.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/full_video_view.h"
#include "ui/player_bar_view.h"
#include "ui/ui_kit.h"
#include "ui/video_control_view.h"
#include "ui/video_graphic_view.h"
#include "ui/video_item.h"
#include "widgets/button_skin.h"
#include "widgets/play_slider_bar.h"

namespace {
// Three one-coloured videos, made once for the whole program.
struct Videos {
    ScratchDir folder;
    QString red, green, blue;
    Videos() {
        auto make = [&](const char* name, const char* colour) {
            std::string path = folder.file(name);
            TestVideo video;
            video.seconds = 2.0;
            video.body = colour;
            video.topBand.clear();
            EXPECT_TRUE(makeTestVideo(path, video));
            return QString::fromStdString(path);
        };
        red = make("a red.mp4", "red");
        green = make("b green.mp4", "lime");
        blue = make("c blue.mp4", "blue");
    }
};

Videos& videos() {
    static Videos* made = new Videos;
    return *made;
}

void forgetList() {
    SettingsDb::instance()->saveStringList("Videos", {});
    SettingsDb::instance()->saveMap(5, {{"playseq", "0"}});
}

bool sourceInGraph(VideoFileSource* source) {
    return PlayGraph::Instance()->FindSourceByType(SOURCE_TYPE_VIDEO_FILE) == source;
}

void clickButton(VideoControlView& page, const QString& picture) {
    for (ButtonSkin* button : page.findChildren<ButtonSkin*>()) {
        if (button->imagePath() == picture) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << picture.toStdString();
}

std::string colourName(QColor colour) {
    unsigned char bgrx[4] = {static_cast<unsigned char>(colour.blue()),
                             static_cast<unsigned char>(colour.green()),
                             static_cast<unsigned char>(colour.red()), 0};
    return nearestColour(bgrx);
}

QColor centreOf(QWidget& view) {
    return view.grab().toImage().pixelColor(view.width() / 2, view.height() / 2);
}
}  // namespace

TEST(VideoPanelTest, AddingMissingOrListedFilesChangesNothing) {
    forgetList();
    VideoControlView page;
    settle();
    VideoGraphicView* list = page.list();
    list->addVideo("/no/such/file.mp4");
    list->addVideo(videos().red);
    list->addVideo(videos().red);
    EXPECT_EQ(list->paths(), QStringList{videos().red});
    VideoItem* item = list->itemOf(videos().red);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->name(), "a red.mp4");
    EXPECT_EQ(displayNameOf("plain"), "plain");

    list->onVideoInfoGet({videos().red, QImage(), 3725000});
    EXPECT_EQ(item->playTimeText(), "62:05");
    EXPECT_EQ(clockText(59), "00:59");
    EXPECT_TRUE(waitFor([&] { return item->playTimeText() == "00:02"; }))
        << "the information cache answers with the real duration: "
        << item->playTimeText().toStdString();

    emit BoxSiteListener::instance()->sig_videoFileAdd(videos().green);
    EXPECT_EQ(list->paths().size(), 2) << "a recording added from elsewhere";
    emit BoxSiteListener::instance()->sig_videoFileRemove(videos().green);
    EXPECT_EQ(list->paths(), QStringList{videos().red});
}

TEST(VideoPanelTest, DeletingTheLastFileTakesTheSourceOutOfTheGraph) {
    forgetList();
    VideoControlView page;
    settle();
    VideoGraphicView* list = page.list();
    list->addVideo(videos().red);
    list->addVideo(videos().green);
    clickButton(page, "video/btn_play.png");
    EXPECT_TRUE(sourceInGraph(list->source())) << "play with nothing selected still plays";

    list->itemOf(videos().red)->setSelected(true);
    clickButton(page, "video/btn_delete.png");
    EXPECT_EQ(list->paths(), QStringList{videos().green});
    EXPECT_TRUE(sourceInGraph(list->source())) << "one file left: still playing";
    list->itemOf(videos().green)->setSelected(true);
    clickButton(page, "video/btn_delete.png");
    EXPECT_TRUE(list->paths().isEmpty());
    EXPECT_FALSE(sourceInGraph(list->source()));

    list->addVideo(videos().blue);
    list->playSelected();
    EXPECT_TRUE(sourceInGraph(list->source()));
    clickButton(page, "video/btn_clear.png");
    EXPECT_FALSE(sourceInGraph(list->source()));
}

TEST(VideoPanelTest, AListOfThreePlaysThroughToTheSecondInThePreview) {
    forgetList();
    PlayerDisplayView display;
    display.show();
    VideoControlView page;
    settle();
    page.playOrderBox()->setCurrentIndex(1);  // list loop
    EXPECT_EQ(page.list()->source()->PlayMode(), 1);
    for (const QString& path : {videos().red, videos().green, videos().blue}) {
        page.list()->addVideo(path);
    }
    page.list()->itemOf(videos().red)->setSelected(true);
    page.list()->playSelected();
    FullVideoView* preview = display.fullView();
    EXPECT_TRUE(waitFor([&] { return !preview->isSelfUpdating(); }))
        << "a running source draws by itself";
    EXPECT_FALSE(preview->openCameraButton()->isVisible());
    EXPECT_TRUE(waitFor([&] { return colourName(centreOf(*preview)) == "red"; }))
        << centreOf(*preview).name().toStdString();
    EXPECT_TRUE(waitFor([&] { return colourName(centreOf(*preview)) == "green"; }))
        << "the second file follows: " << centreOf(*preview).name().toStdString();
    EXPECT_TRUE(waitFor([&] { return page.list()->itemOf(videos().green)->isPlaying(); }));
    EXPECT_FALSE(page.list()->itemOf(videos().red)->isPlaying());

    page.list()->clearVideos();
    EXPECT_TRUE(waitFor([&] { return preview->isSelfUpdating(); }));
    EXPECT_TRUE(preview->openCameraButton()->isVisible());
}

TEST(VideoPanelTest, ThePositionSliderStaysPutWhileDragged) {
    forgetList();
    PlayerBarView bar;
    bar.resize(640, 60);
    bar.show();
    EXPECT_EQ(bar.timeText(), "00:00/00:00");
    EXPECT_EQ(bar.volumeSlider()->value(), 50);
    EXPECT_FALSE(bar.button(2)->isEnabled()) << "the inset is never switched from the bar";

    VideoControlView page;
    settle();
    page.list()->addVideo(videos().blue);
    page.list()->playSelected();
    ASSERT_TRUE(waitFor([&] {
        bar.updateInfo();
        return bar.positionSlider()->maximum() == 2;
    }));
    EXPECT_EQ(bar.timeText().right(5), "00:02");
    EXPECT_EQ(bar.volumeSlider()->value(), 50) << "a video that starts leaves the volume as shown";

    PlaySliderBar* position = bar.positionSlider();
    position->grab();
    QPoint handle = position->handleRect().center();
    QTest::mousePress(position, Qt::LeftButton, {}, handle);
    ASSERT_TRUE(position->isDragging());
    int held = position->value();
    QTest::qWait(1200);
    bar.updateInfo();
    EXPECT_EQ(position->value(), held) << "the timer leaves a dragged slider alone";
    QTest::mouseRelease(position, Qt::LeftButton, {}, handle);
    EXPECT_FALSE(position->isDragging());

    bar.button(0)->click();
    EXPECT_TRUE(MediaSite::instance()->isMuted());
    EXPECT_EQ(bar.button(0)->imagePath(), "video_play/btn_volume_muse.png");
    bar.button(0)->click();
    EXPECT_EQ(bar.button(0)->imagePath(), "video_play/btn_volume_open.png");
    page.list()->clearVideos();
}

TEST(VideoPanelTest, TheListAndThePlayOrderComeBack) {
    forgetList();
    ScratchDir gone;
    std::string vanishing = gone.file("gone.mp4");
    TestVideo shortVideo;
    ASSERT_TRUE(makeTestVideo(vanishing, shortVideo));
    {
        VideoControlView page;
        settle();
        page.list()->addVideo(videos().green);
        page.list()->addVideo(videos().red);
        page.list()->addVideo(QString::fromStdString(vanishing));
        page.playOrderBox()->setCurrentIndex(1);
    }
    std::remove(vanishing.c_str());
    {
        VideoControlView page;
        settle();
        EXPECT_EQ(page.list()->paths(), (QStringList{videos().red, videos().green}));
        EXPECT_EQ(page.playOrderBox()->currentIndex(), 1);
        EXPECT_EQ(page.list()->source()->PlayMode(), 1);
    }
    QStringList saved;
    SettingsDb::instance()->loadStringList("Videos", saved);
    EXPECT_TRUE(saved.contains(QString::fromStdString(vanishing)))
        << "a file missing at start-up stays in the list for when it returns";

    // Clearing the list clears the missing file too: it does not come back.
    {
        VideoControlView page;
        settle();
        page.list()->clearVideos();
    }
    SettingsDb::instance()->loadStringList("Videos", saved);
    EXPECT_TRUE(saved.isEmpty()) << saved.join(", ").toStdString();
}

// Every change is on the disk at once, so a crash or a kill loses none: the
// files added and removed, the play order, names holding ';' included.
TEST(VideoPanelTest, EachChangeIsSavedAtOnceWhateverTheFileIsCalled) {
    forgetList();
    ScratchDir folder;
    std::string odd = folder.file("my;clip 中文.mp4");
    ASSERT_TRUE(makeTestVideo(odd, TestVideo{}));
    QString oddPath = QString::fromStdString(odd);
    auto saved = [] {
        QStringList list;
        SettingsDb::instance()->loadStringList("Videos", list);
        list.sort();
        return list;
    };
    auto savedOrder = [] {
        QMap<QString, QString> map;
        SettingsDb::instance()->loadMap(5, map);
        return map.value("playseq");
    };
    QStringList both{oddPath, videos().red};
    both.sort();

    VideoControlView page;
    settle();
    page.list()->addVideo(oddPath);
    page.list()->addVideo(videos().red);
    EXPECT_EQ(saved(), both);
    page.playOrderBox()->setCurrentIndex(1);
    EXPECT_EQ(savedOrder(), "1");
    page.list()->removeVideo(videos().red);
    EXPECT_EQ(saved(), QStringList{oddPath});
    {
        VideoControlView nextStart;
        settle();
        EXPECT_EQ(nextStart.list()->paths(), QStringList{oddPath});
        EXPECT_EQ(nextStart.playOrderBox()->currentIndex(), 1);
    }
    EXPECT_EQ(saved(), QStringList{oddPath}) << "putting the list back saves nothing less";
    page.list()->clearVideos();
    EXPECT_TRUE(saved().isEmpty());
    page.playOrderBox()->setCurrentIndex(0);
    EXPECT_EQ(savedOrder(), "0");
}

namespace {
// The item drawn on its own, as the list draws it.
QImage rendered(QGraphicsItem* item) {
    QImage image(item->boundingRect().size().toSize(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionGraphicsItem option;
    item->paint(&painter, &option, nullptr);
    return image;
}

// Whether the problem sign (a red disc) shows left of its centre at `centre`.
bool signAt(const QImage& image, QPoint centre) {
    QColor colour = image.pixelColor(centre - QPoint(5, 0));
    return colour.red() > 200 && colour.green() < 100 && colour.blue() < 100;
}
}  // namespace

TEST(VideoPanelTest, AFileThatCannotPlayIsMarkedWithWhyAndPassedOverUntilMended) {
    forgetList();
    ScratchDir folder;
    QString broken = QString::fromStdString(folder.file("broken.mp4"));
    {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a video at all");
    }
    VideoControlView page;
    settle();
    VideoGraphicView* list = page.list();
    list->addVideo(broken);
    list->addVideo(videos().red);
    VideoItem* item = list->itemOf(broken);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(waitFor([&] { return !item->problem().isEmpty(); }));
    EXPECT_TRUE(item->problem().startsWith("无法播放")) << item->problem().toStdString();
    EXPECT_EQ(item->toolTip(), "broken.mp4\n" + item->problem());
    EXPECT_TRUE(list->itemOf(videos().red)->problem().isEmpty());
    EXPECT_TRUE(list->itemOf(videos().red)->toolTip().isEmpty());
    const QPoint signCentre(79, 57);  // the thumbnail's bottom-right corner
    EXPECT_TRUE(signAt(rendered(item), signCentre));
    EXPECT_FALSE(signAt(rendered(list->itemOf(videos().red)), signCentre));

    // Played, the marked file is passed over: choosing it plays what can play.
    list->itemOf(broken)->setSelected(true);
    list->playSelected();
    EXPECT_TRUE(sourceInGraph(list->source()));
    EXPECT_NE(list->source()->CurrentFile(), broken) << "not in the player's list";
    EXPECT_TRUE(waitFor([&] { return list->source()->CurrentFile() == videos().red; }));

    // Mended and added again, it is looked at once more and plays again.
    QFile::remove(broken);
    ASSERT_TRUE(QFile::copy(videos().green, broken));
    list->addVideo(broken);
    EXPECT_TRUE(waitFor([&] { return item->problem().isEmpty(); }));
    EXPECT_TRUE(item->toolTip().isEmpty());
    list->source()->SetCurrentFile(broken);
    EXPECT_EQ(list->source()->CurrentFile(), broken) << "back in the player's list";
    list->clearVideos();
}
