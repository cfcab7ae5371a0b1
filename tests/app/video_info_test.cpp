#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/push_file_queue.h"
#include "app/video_info_request.h"
#include "tests/support/child_process.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"

namespace {
using namespace std::chrono_literals;

class Gui : public ::testing::Environment {
public:
    void SetUp() override {
        cache_ = std::make_unique<ScratchDir>();
        setenv("XDG_CACHE_HOME", cache_->file("cache").c_str(), 1);
        app_ = makeOffscreenApplication<QGuiApplication>();
    }
    void TearDown() override {
        app_.reset();
        cache_.reset();
    }

private:
    std::unique_ptr<ScratchDir> cache_;
    std::unique_ptr<QGuiApplication> app_;
};
const auto* const g_gui = ::testing::AddGlobalTestEnvironment(new Gui);

// Collects every answer of the cache.
struct Answers {
    QMap<QString, VideoInfoQt> byPath;
    int count = 0;
    QMetaObject::Connection connection;
    Answers() {
        connection =
            QObject::connect(VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoGet,
                             [this](const VideoInfoQt& info) {
                                 byPath[info.path] = info;
                                 ++count;
                             });
    }
    ~Answers() { QObject::disconnect(connection); }
    // Runs the event loop until `done` holds or the time is up.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < limit.count()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return done();
    }
};

QColor middle(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

std::string makeVideo(const ScratchDir& dir, const std::string& name, const std::string& first,
                      const std::string& second, double seconds) {
    TestVideo video;
    video.body = first;
    video.secondHalf = second;
    video.topBand = "";
    video.seconds = seconds;
    std::string path = dir.file(name);
    EXPECT_TRUE(makeTestVideo(path, video));
    return path;
}
}  // namespace

TEST(VideoInfoTest, ThumbnailsComeFromTheFirstBrightFrameOrTheThirtieth) {
    ScratchDir dir;
    QString blackThenRed = QString::fromStdString(makeVideo(dir, "late.mp4", "black", "white", 2));
    QString allBlack = QString::fromStdString(makeVideo(dir, "dark.mp4", "black", "", 3));
    Answers answers;
    VideoInfoRequest::instance()->request(blackThenRed);
    VideoInfoRequest::instance()->request(allBlack);
    ASSERT_TRUE(answers.waitFor([&] { return answers.count >= 2; }));

    VideoInfoQt late = answers.byPath[blackThenRed];
    ASSERT_FALSE(late.image.isNull());
    EXPECT_EQ(late.image.size(), QSize(640, 480));
    EXPECT_GT(middle(late.image).lightness(), 200) << "the first frame that is not black";
    EXPECT_NEAR(late.playTime, 2000, 200);

    VideoInfoQt dark = answers.byPath[allBlack];
    ASSERT_FALSE(dark.image.isNull());
    EXPECT_LT(middle(dark.image).red(), 50) << "the 30th frame, black as the rest";
    EXPECT_NEAR(dark.playTime, 3000, 200);

    // Asked again: answered at once, from memory.
    int before = answers.count;
    VideoInfoRequest::instance()->request(blackThenRed);
    EXPECT_EQ(answers.count, before + 1);
}

TEST(VideoInfoTest, ABrokenFileInTheMiddleDoesNotStopTheRest) {
    ScratchDir dir;
    // Short and never bright: these are answered by their 30th frame, on a replay.
    QString first = QString::fromStdString(makeVideo(dir, "first.mp4", "green", "", 1));
    QString broken = QString::fromStdString(dir.file("broken.mp4"));
    std::ofstream(broken.toStdString()) << "not a video";
    QString third = QString::fromStdString(makeVideo(dir, "third.mp4", "blue", "", 1));
    Answers answers;
    QMap<QString, QString> failures;
    auto failed = QObject::connect(
        VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoFailed,
        [&](const QString& path, const QString& reason) { failures[path] = reason; });
    for (const QString& path : {first, broken, third}) {
        VideoInfoRequest::instance()->request(path);
    }
    ASSERT_TRUE(answers.waitFor([&] { return answers.byPath.contains(third); }));
    EXPECT_TRUE(answers.byPath.contains(first));
    EXPECT_FALSE(answers.byPath.contains(broken)) << "a file that cannot play gets no answer";
    EXPECT_EQ(failures.keys(), QStringList{broken}) << "but a failure, with why";
    EXPECT_EQ(failures.value(broken), "无法播放：文件已损坏或不是视频");

    // Asked again: the failure is told at once, from memory, until the file changes.
    failures.clear();
    VideoInfoRequest::instance()->request(broken);
    EXPECT_EQ(failures.keys(), QStringList{broken});
    std::filesystem::remove(broken.toStdString());
    std::filesystem::copy_file(first.toStdString(), broken.toStdString());
    failures.clear();
    VideoInfoRequest::instance()->request(broken);
    EXPECT_TRUE(failures.isEmpty()) << "a changed file is looked at again";
    EXPECT_TRUE(answers.waitFor([&] { return answers.byPath.contains(broken); }));
    QObject::disconnect(failed);
}

TEST(VideoInfoTest, TheDiskCacheServesTheNextProcessUntilTheVideoChanges) {
    ScratchDir dir;
    std::string video = makeVideo(dir, "kept.mp4", "red", "", 1);
    QString name = QString::fromLatin1(
        QCryptographicHash::hash(QString::fromStdString(video).toUtf8(), QCryptographicHash::Md5)
            .toHex());
    EXPECT_EQ(VideoInfoCache::nameOf(QString::fromStdString(video)), name);
    QString picture = VideoInfoCache::folder() + "/" + name + ".jpg";
    std::string helper =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "video_info_helper")
            .string();
    auto askInAnotherProcess = [&] {
        ChildProcess child;
        EXPECT_TRUE(child.spawn(helper, {video}));
        std::string line;
        EXPECT_TRUE(child.readLine(&line, 30s));
        child.wait();
        return line;
    };

    std::string first = askInAnotherProcess();
    EXPECT_EQ(first.substr(first.find(' ')), " 640 480");
    ASSERT_TRUE(QFileInfo::exists(picture));
    QDateTime made = QFileInfo(picture).lastModified();
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(askInAnotherProcess(), first) << "the same answer";
    EXPECT_EQ(QFileInfo(picture).lastModified(), made) << "from the cache: nothing rewritten";

    // A video changed after its thumbnail is detected again.
    std::filesystem::last_write_time(
        video, std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
    EXPECT_EQ(askInAnotherProcess(), first);
    EXPECT_GT(QFileInfo(picture).lastModified(), made) << "rebuilt";
}

namespace {
class TimedQueue : public PushFileQueue {
public:
    std::vector<std::pair<QString, qint64>> handled;
    QElapsedTimer clock;
    TimedQueue() { clock.start(); }

protected:
    void handleFile(const QString& path) override { handled.emplace_back(path, clock.elapsed()); }
};
}  // namespace

TEST(VideoInfoTest, TheQueueFeedsOnePathEveryTwentyMilliseconds) {
    TimedQueue queue;
    QStringList paths;
    for (int i = 0; i < 100; ++i) {
        paths << QString("/videos/%1.mp4").arg(i);
    }
    queue.push(paths.mid(0, 60));
    EXPECT_EQ(queue.handled.size(), 1u) << "the first at once";
    queue.push(paths.mid(60));  // joins the same run
    Answers idle;
    ASSERT_TRUE(idle.waitFor([&] { return queue.handled.size() == 100; }, 10s));
    for (size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(queue.handled[i].first, paths[static_cast<int>(i)]);
        if (i > 0) {
            EXPECT_GE(queue.handled[i].second - queue.handled[i - 1].second, 18) << i;
        }
    }
}

TEST(VideoInfoTest, PictureThumbnailsGoThroughTheSameCache) {
    ScratchDir dir;
    QString path = QString::fromStdString(dir.file("photo.png"));
    QImage photo(400, 300, QImage::Format_RGB32);
    photo.fill(QColor(0, 0, 255));
    ASSERT_TRUE(photo.save(path));
    QPixmap thumbnail = loadThumbnail(path, true, 96, 72);
    EXPECT_EQ(thumbnail.size(), QSize(96, 72));
    auto cached = VideoInfoCache::read(path);
    ASSERT_TRUE(cached.has_value());
    EXPECT_EQ(cached->image.size(), QSize(96, 72));
    EXPECT_EQ(loadThumbnail(path, true, 96, 72).size(), QSize(96, 72));
    // Asked at a screen's ratio 2, the small one kept is not enlarged: the
    // picture is read again, and kept at that size.
    EXPECT_EQ(loadThumbnail(path, true, 192, 144).size(), QSize(192, 144));
    EXPECT_EQ(VideoInfoCache::read(path)->image.size(), QSize(192, 144));

    std::ofstream(dir.file("broken.png")) << "no picture";
    EXPECT_TRUE(
        loadThumbnail(QString::fromStdString(dir.file("broken.png")), true, 96, 72).isNull());
}
