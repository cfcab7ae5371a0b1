#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/box_site_listener.h"
#include "app/settings_db.h"
#include "app/startup.h"
#include "app/stream_key_store.h"
#include "base/video_frame.h"
#include "engine/play_graph.h"
#include "tests/support/log_capture.h"
#include "tests/support/media_probe.h"
#include "tests/support/rtmp_server.h"
#include "tests/support/test_components.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/control_view.h"
#include "ui/live_control_view.h"
#include "ui/lumora_box.h"
#include "widgets/button_skin.h"

namespace {
const std::string kKey = "liveKey7TheTest3";
// A connection, a first key frame and the publish hook on a busy machine.
constexpr int kLivePatienceMs = 60000;

QString stateOf(const LiveControlView& page) { return page.stateLabel()->text(); }

// Types into a field as a person does, ending with Return.
void type(QLineEdit* field, const std::string& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromStdString(text));
    QTest::keyClick(field, Qt::Key_Return);
}

// The size of a file; -1 while it is not there.
qint64 sizeOf(const std::string& path) {
    QFileInfo info(QString::fromStdString(path));
    return info.exists() ? info.size() : -1;
}

// Whether a file's bytes hold `text`.
bool fileHolds(const QString& path, const std::string& text) {
    return contentsOf(path.toStdString()).find(text) != std::string::npos;
}

// The longest time the event loop did not run while it exists, for the
// test's output (how long a person's clicks went unanswered).
struct LoopWatch {
    QElapsedTimer clock;
    qint64 lastBeat = 0;
    qint64 longest = 0;
    QTimer heartbeat;
    LoopWatch() {
        clock.start();
        QObject::connect(&heartbeat, &QTimer::timeout, [this] { beat(); });
        heartbeat.start(10);
    }
    void beat() {
        longest = std::max(longest, clock.elapsed() - lastBeat);
        lastBeat = clock.elapsed();
    }
    qint64 longestMs() {
        beat();
        return longest;
    }
};

// nginx's name for the connection that published under `key` ("*2").
QString publisherOf(const std::string& serverLog, const std::string& key) {
    QRegularExpression publish("(\\*\\d+) publish: name='" +
                               QRegularExpression::escape(QString::fromStdString(key)) + "'");
    return publish.match(QString::fromStdString(serverLog)).captured(1);
}

// The number of the first line of nginx's log holding `text`; -1 when none does.
int lineAt(const std::string& serverLog, const QString& text) {
    const QStringList lines = QString::fromStdString(serverLog).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(text)) {
            return i;
        }
    }
    return -1;
}

// The graph runs over a still picture, as it does with nothing else to show.
struct LivePanelTest : ::testing::Test {
    RtmpServer server{kKey};
    ManualSource picture;
    std::vector<uint8_t> frame = std::vector<uint8_t>(VideoFrame::Size32(640, 480), 90);

    void SetUp() override {
        std::string problem;
        ASSERT_TRUE(server.start(&problem)) << problem;
        picture.PushFrame(frame.data(), frame.size());
        PlayGraph::Instance()->SetPlaceholderSource(&picture);
        ASSERT_EQ(PlayGraph::Instance()->Start(), 0);
    }
    void TearDown() override {
        PlayGraph::Instance()->SetOutputMode(kStandardMode);
        PlayGraph::Instance()->Stop();
        PlayGraph::Instance()->SetPlaceholderSource(nullptr);
    }

    // Types the server and the key into the page and goes live.
    void goLive(LiveControlView& page, const std::string& key) {
        type(page.serverBox()->lineEdit(), server.address());
        type(page.keyEdit(), key);
        page.startButton()->click();
    }
};
}  // namespace

TEST_F(LivePanelTest, GoesLiveToARealServerStopsAndKeepsTheKeySecret) {
    LogCapture log;
    auto page = std::make_unique<LiveControlView>();
    page->show();
    settle();
    EXPECT_EQ(page->rateBox()->value(), 1500) << "the default at 640 x 480";
    EXPECT_TRUE(page->startButton()->isVisible());
    EXPECT_FALSE(page->stopButton()->isVisible());

    // The key is masked until the person asks to see it.
    type(page->keyEdit(), kKey);
    EXPECT_EQ(page->keyEdit()->echoMode(), QLineEdit::Password);
    page->showKeyButton()->click();
    EXPECT_EQ(page->keyEdit()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(page->showKeyButton()->imagePath(), "live/btn_hide_key.png");
    page->showKeyButton()->click();
    EXPECT_EQ(page->keyEdit()->echoMode(), QLineEdit::Password);

    type(page->serverBox()->lineEdit(), server.address());
    type(page->keyEdit(), kKey);
    LoopWatch starting;
    page->startButton()->click();
    // The microphone and the stream start on the page's work queue, with
    // the button greyed; no second stream can be asked for meanwhile.
    EXPECT_TRUE(page->isStreaming());
    EXPECT_FALSE(page->serverBox()->isEnabled()) << "the address holds while live";
    ASSERT_TRUE(waitFor([&] { return stateOf(*page) == "直播中"; }, kLivePatienceMs))
        << stateOf(*page).toStdString() << "\n"
        << server.log();
    std::printf("event loop pause while going live: %lld ms\n",
                static_cast<long long>(starting.longestMs()));
    EXPECT_TRUE(page->stopButton()->isVisible());
    EXPECT_TRUE(page->stopButton()->isEnabled());
    EXPECT_FALSE(page->startButton()->isVisible());

    // The server records what arrives: a file that grows.
    const std::string recording = server.recordingOf(kKey);
    ASSERT_TRUE(waitFor([&] { return sizeOf(recording) > 0; }, kLivePatienceMs)) << recording;
    const qint64 first = sizeOf(recording);
    ASSERT_TRUE(waitFor([&] { return sizeOf(recording) > first + 20000; }, kLivePatienceMs))
        << "still " << sizeOf(recording) << " bytes";
    // The counters show what went out.
    ASSERT_TRUE(waitFor([&] { return page->timeLiveLabel()->text() != "00:00"; }, 10000));
    EXPECT_TRUE(page->timeLiveLabel()->isVisible());
    EXPECT_TRUE(page->sentRateLabel()->text().endsWith(" kbit/s"))
        << page->sentRateLabel()->text().toStdString();
    ASSERT_TRUE(waitFor(
        [&] { return page->sentRateLabel()->text().section(' ', 0, 0).toInt() > 0; }, 10000))
        << page->sentRateLabel()->text().toStdString();
    bool counted = false;
    page->leftOutLabel()->text().toULongLong(&counted);
    EXPECT_TRUE(counted) << page->leftOutLabel()->text().toStdString();

    // Ending the stream is not waited for here: the stop button greys until
    // the server was told, then the page is idle again.
    LoopWatch stopping;
    page->stopButton()->click();
    EXPECT_TRUE(page->isStreaming());
    if (page->isStreaming()) {
        EXPECT_FALSE(page->stopButton()->isEnabled());
    }
    ASSERT_TRUE(waitFor([&] { return !page->isStreaming(); }, 20000));
    std::printf("event loop pause while the stream ended: %lld ms\n",
                static_cast<long long>(stopping.longestMs()));
    ASSERT_TRUE(waitFor([&] { return stateOf(*page) == "已停止"; }, 5000))
        << stateOf(*page).toStdString();
    EXPECT_TRUE(page->startButton()->isVisible());
    EXPECT_FALSE(page->stopButton()->isVisible());
    EXPECT_TRUE(page->serverBox()->isEnabled());
    EXPECT_EQ(server.publishAttempts(kKey), 1);

    // The address is in the settings; the key only in the key store.
    EXPECT_EQ(SettingsDb::instance()->loadText("live_server"),
              QString::fromStdString(server.address()));
    StreamKeyStore keys;
    EXPECT_EQ(keys.find(QString::fromStdString(server.address())), QString::fromStdString(kKey));
    std::vector<std::string> holders = filesHolding(QDir::homePath().toStdString(), kKey);
    if (keys.place() == StreamKeyStore::Place::PrivateFile) {
        EXPECT_EQ(holders,
                  std::vector<std::string>{StreamKeyStore::privateFilePath().toStdString()});
    } else {
        EXPECT_TRUE(holders.empty()) << holders[0];
    }
    EXPECT_TRUE(fileHolds(QDir::homePath() + "/config/LumoraBox/Lumora.conf", server.address()))
        << "the walk read the settings file";
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find(kKey), std::string::npos) << line;
    }
    EXPECT_FALSE(fileHolds("/proc/self/cmdline", kKey));

    // A page made later finds the server and its key again.
    page.reset();
    LiveControlView again;
    settle();
    EXPECT_EQ(again.serverBox()->currentText(), QString::fromStdString(server.address()));
    EXPECT_EQ(again.keyEdit()->text(), QString::fromStdString(kKey));
}

TEST_F(LivePanelTest, ARefusedKeyABadAddressAndTheirReasonsInBothLanguages) {
    {
        LiveControlView page;
        page.show();
        settle();
        type(page.serverBox()->lineEdit(), server.address());
        type(page.keyEdit(), "notTheKey");
        LoopWatch refusing;
        page.startButton()->click();
        ASSERT_TRUE(waitFor([&] { return !page.isStreaming(); }, kLivePatienceMs));
        EXPECT_EQ(stateOf(page), "已停止：服务器拒绝了推流密钥");
        std::printf("event loop pause while the key was refused: %lld ms\n",
                    static_cast<long long>(refusing.longestMs()));
        EXPECT_TRUE(page.startButton()->isVisible());
        EXPECT_FALSE(page.stopButton()->isVisible());

        // A preset is an example to complete: as it stands it is no address.
        page.serverBox()->setCurrentIndex(page.serverBox()->findText("srt://host:port"));
        page.startButton()->click();
        ASSERT_TRUE(waitFor([&] { return !page.isStreaming(); }, 10000));
        EXPECT_EQ(stateOf(page), "已停止：服务器地址无效");
        EXPECT_TRUE(page.startButton()->isVisible() && page.startButton()->isEnabled());
        settle();
        EXPECT_EQ(stateOf(page), "已停止：服务器地址无效") << "no stale news overwrites it";

        // Servers that cannot be reached: each says why, and the page goes
        // on answering meanwhile (the longest pause is printed: a figure,
        // not a condition).
        const std::vector<std::pair<std::string, QString>> unreachable = {
            {"rtmp://127.0.0.1:" + std::to_string(unusedLocalPort()) + "/live",
             "已停止：服务器拒绝连接"},
            {"rtmp://no-such-host.invalid/live", "已停止：找不到服务器"},
        };
        for (const auto& [address, said] : unreachable) {
            type(page.serverBox()->lineEdit(), address);
            LoopWatch waiting;
            page.startButton()->click();
            ASSERT_TRUE(waitFor([&] { return !page.isStreaming(); }, kLivePatienceMs)) << address;
            EXPECT_EQ(stateOf(page), said) << address;
            EXPECT_TRUE(page.startButton()->isVisible() && page.startButton()->isEnabled());
            std::printf("event loop pause while %s failed: %lld ms\n", address.c_str(),
                        static_cast<long long>(waiting.longestMs()));
        }
    }
    QTranslator english;
    ASSERT_TRUE(installTranslations(Language::English, english));
    {
        LiveControlView page;
        page.show();
        settle();
        goLive(page, "notTheKey");
        ASSERT_TRUE(waitFor([&] { return !page.isStreaming(); }, kLivePatienceMs));
        EXPECT_EQ(stateOf(page), "Stopped: the server refused the stream key");
        EXPECT_TRUE(page.startButton()->isVisible());
    }
    QCoreApplication::removeTranslator(&english);
    // Refused each time it was offered, and never offered again by itself.
    EXPECT_EQ(server.publishAttempts("notTheKey"), 2);
    EXPECT_EQ(server.publishAttempts(kKey), 0);
}

TEST_F(LivePanelTest, QuittingWhileLiveEndsTheStreamCleanly) {
    // The live tab of the main window, which the program destroys at quit.
    LumoraBox* box = LumoraBox::instance();
    box->showDialog();
    settle();
    box->controlView()->tabButton(ControlView::Live)->click();
    auto* page = qobject_cast<LiveControlView*>(box->controlView()->page(ControlView::Live));
    ASSERT_NE(page, nullptr);
    settle();
    goLive(*page, kKey);
    ASSERT_TRUE(waitFor([&] { return stateOf(*page) == "直播中"; }, kLivePatienceMs))
        << stateOf(*page).toStdString();
    const std::string recording = server.recordingOf(kKey);
    ASSERT_TRUE(waitFor([&] { return sizeOf(recording) > 0; }, kLivePatienceMs));
    LumoraBox::destroy();

    // The server was told the stream ended (deleteStream) before the
    // connection closed; a stream cut off shows only the close.
    const QString connection = publisherOf(server.log(), kKey);
    ASSERT_FALSE(connection.isEmpty()) << server.log();
    ASSERT_TRUE(
        waitFor([&] { return lineAt(server.log(), connection + " disconnect") >= 0; }, 10000))
        << server.log();
    const int deleted = lineAt(server.log(), connection + " deleteStream");
    EXPECT_GE(deleted, 0) << server.log();
    EXPECT_LT(deleted, lineAt(server.log(), connection + " disconnect")) << server.log();
}

TEST_F(LivePanelTest, ANewPictureSizeWhileLiveGoesLiveAgainAtThatSize) {
    LiveControlView page;
    page.show();
    settle();
    goLive(page, kKey);
    ASSERT_TRUE(waitFor([&] { return stateOf(page) == "直播中"; }, kLivePatienceMs))
        << stateOf(page).toStdString();

    // As the camera page changes the output mode.
    PlayGraph::Instance()->SetOutputMode(kHd720Mode);
    emit BoxSiteListener::instance()->sig_outputModeChanged(1);
    EXPECT_EQ(page.rateBox()->value(), 3000) << "the default follows the size";
    ASSERT_TRUE(waitFor([&] { return server.publishAttempts(kKey) == 2; }, kLivePatienceMs));
    ASSERT_TRUE(waitFor([&] { return stateOf(page) == "直播中" && page.stopButton()->isEnabled(); },
                        kLivePatienceMs))
        << stateOf(page).toStdString();
    const std::string recording = server.recordingOf(kKey);
    ASSERT_TRUE(waitFor([&] { return sizeOf(recording) > 50000; }, kLivePatienceMs));
    page.stopButton()->click();
    ASSERT_TRUE(waitFor([&] { return !page.isStreaming(); }, 20000));
    ASSERT_TRUE(server.stop()) << "nginx ends, closing the recording";

    // The server records each publication anew: the last is at the new size.
    auto streams = probeStreams(recording);
    auto video = std::find_if(streams.begin(), streams.end(),
                              [](const ProbedStream& s) { return s.type == "video"; });
    ASSERT_NE(video, streams.end()) << recording;
    EXPECT_EQ(video->width, 1280);
    EXPECT_EQ(video->height, 720);
}
