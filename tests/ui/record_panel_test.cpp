#include <gtest/gtest.h>

#include <QPointer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/box_site_listener.h"
#include "app/settings_db.h"
#include "engine/play_graph.h"
#include "outputs/video_wnd_output.h"
#include "outputs/wmv_record_output.h"
#include "tests/support/child_process.h"
#include "tests/support/media_probe.h"
#include "tests/support/test_components.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/file_manager.h"
#include "ui/record_control_view.h"
#include "ui/record_graphic_view.h"
#include "ui/record_item.h"
#include "ui/timer_label.h"
#include "ui/ui_kit.h"
#include "ui/video_preview_dlg.h"
#include "widgets/button_skin.h"
#include "widgets/custom_file_dialog.h"
#include "widgets/custom_message_box.h"
#include "widgets/play_slider_bar.h"

namespace {
// A recording and its information take longer than the default wait.
constexpr int kRecordingPatienceMs = 20000;

// Saves as whatever the test says.
struct SaveAsChooser : FileChooser {
    QString answer;
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                         QFileDialog::Options) override {
        return answer;
    }
};

// Records for `seconds` through the panel and returns the preview it opens;
// `shown` gets the running time the panel showed at the stop.
// Whether a descriptor of this process refers to the file.
bool openInThisProcess(const QString& path) {
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        if (QString::fromStdString(std::filesystem::read_symlink(fd.path(), linkError).string()) ==
            path) {
            return true;
        }
    }
    return false;
}

// Records for `seconds` through the panel and returns the preview it opens
// once the file is complete; `shown` gets the running time the panel showed
// at the stop, `longestPauseMs` the longest time the event loop did not run
// between the stop and the preview.
VideoPreviewDlg* record(RecordControlView& panel, int seconds, int* shown = nullptr,
                        qint64* longestPauseMs = nullptr) {
    VideoPreviewDlg* opened = nullptr;
    auto connection = QObject::connect(&panel, &RecordControlView::sig_previewOpened,
                                       [&](VideoPreviewDlg* dialog) { opened = dialog; });
    panel.startButton()->click();
    EXPECT_TRUE(panel.isRecording());
    QTest::qWait(seconds * 1000 + 150);
    QTest::qWait(1100);  // one more tick of the running time
    if (shown)
        *shown = panel.timeLabel()->elapsed();
    QElapsedTimer clock;
    clock.start();
    qint64 lastBeat = 0;
    qint64 longestPause = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, clock.elapsed() - lastBeat);
        lastBeat = clock.elapsed();
    });
    heartbeat.start(10);
    panel.stopButton()->click();
    EXPECT_TRUE(waitFor([&] { return opened != nullptr; }, kRecordingPatienceMs));
    heartbeat.stop();
    longestPause = std::max(longestPause, clock.elapsed() - lastBeat);
    if (longestPauseMs)
        *longestPauseMs = longestPause;
    QObject::disconnect(connection);
    return opened;
}

// The desktop's trash, under the test's own data folder.
QString trashFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/";
}

// How many files from `path` the trash holds, each with the note of where
// it came from.
int timesInTrash(const QString& path) {
    int times = 0;
    QDir notes(trashFolder() + "info");
    for (const QFileInfo& note : notes.entryInfoList({"*.trashinfo"}, QDir::Files)) {
        QFile info(note.filePath());
        QString kept = trashFolder() + "files/" + note.completeBaseName();
        if (!QFile::exists(kept) || !info.open(QIODevice::ReadOnly)) {
            continue;
        }
        QString text = QString::fromUtf8(info.readAll());
        if (text.contains("Path=" + path + "\n") ||
            text.contains("Path=" + QUrl::toPercentEncoding(path, "/") + "\n")) {
            ++times;
        }
    }
    return times;
}

bool inTrash(const QString& path) { return timesInTrash(path) > 0; }

struct RecordPanelTest : ::testing::Test {
    void SetUp() override {
        SettingsDb::instance()->saveStringList("myvideo_list", {});
        QDir folder(RecordControlView::recordFolder());
        for (const QString& name : folder.entryList(QDir::Files))
            folder.remove(name);
        PlayGraph::Instance()->Start();
    }
};
}  // namespace

TEST_F(RecordPanelTest, AnUnsavedRecordingIsNamedWithoutItsTemporarySuffix) {
    QString folder = RecordControlView::recordFolder();
    QString unsaved = folder + "20240305140709042.flv_tmp";
    QString kept = folder + "20240305150000000.flv";
    for (const QString& path : {unsaved, kept}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    RecordGraphicView list;
    list.addPath(unsaved);
    list.addPath(kept);
    ASSERT_NE(list.itemOf(unsaved), nullptr);
    EXPECT_EQ(list.itemOf(unsaved)->name(), "20240305140709042") << "未保存 says the rest";
    EXPECT_TRUE(list.itemOf(unsaved)->isUnsaved());
    EXPECT_EQ(list.itemOf(unsaved)->path(), unsaved) << "the item still knows its file";
    EXPECT_EQ(list.itemOf(kept)->name(), "20240305150000000.flv");
    EXPECT_FALSE(list.itemOf(kept)->isUnsaved());
}

TEST_F(RecordPanelTest, NamesAndTimesFollowTheClock) {
    QDateTime start(QDate(2024, 3, 5), QTime(14, 7, 9, 42));
    QString path = RecordControlView::temporaryPath(start);
    EXPECT_TRUE(path.startsWith(SettingsDb::dataPath() + "/MyVideo/"));
    EXPECT_TRUE(path.endsWith("/20240305140709042.flv_tmp")) << path.toStdString();
    EXPECT_TRUE(QDir(SettingsDb::dataPath() + "/MyVideo").exists());

    TimerLabel label;
    EXPECT_EQ(label.text(), "00:00");
    label.start();
    label.advance(65);
    EXPECT_EQ(label.text(), "01:05");
    label.advance(125 * 60 - 65);
    EXPECT_EQ(label.text(), "125:00");
    label.stop();
    EXPECT_EQ(label.text(), "00:00");
    EXPECT_FALSE(label.isCounting());

    VideoPreviewDlg dialog(VideoPreviewDlg::kAfterRecording, "/nowhere.flv_tmp", 65);
    EXPECT_EQ(dialog.timeText(), "00:00/01:05");
    EXPECT_EQ(dialog.windowTitle(), "保存视频");
    EXPECT_NE(dialog.button("record/btn_save.png"), nullptr);
    EXPECT_EQ(dialog.button("record/btn_addvideolist.png"), nullptr);
}

TEST_F(RecordPanelTest, AFiveSecondRecordingIsPreviewedSavedAndListed) {
    RecordControlView panel;
    settle();
    int shown = 0;
    qint64 pause = 0;
    VideoPreviewDlg* preview = record(panel, 4, &shown, &pause);
    ASSERT_NE(preview, nullptr);
    std::printf("event loop pause while the recording was finished: %lld ms\n",
                static_cast<long long>(pause));
    QString temporary = preview->path();
    EXPECT_TRUE(temporary.endsWith(".flv_tmp"));
    EXPECT_TRUE(QFile::exists(temporary));
    EXPECT_FALSE(panel.isRecording());
    EXPECT_TRUE(panel.startButton()->isVisible() || !panel.isVisible());
    EXPECT_GE(shown, 5) << "the running time follows the clock";
    EXPECT_LE(
        (preview->geometry().center() - panel.window()->frameGeometry().center()).manhattanLength(),
        2)
        << "the preview opens over the main window";
    EXPECT_EQ(preview->timeText(), "00:00/" + clockText(shown)) << "the preview takes it over";

    uint64_t before = preview->output()->repaintRequests();
    preview->button("record/btn_startplay.png")->click();
    EXPECT_TRUE(waitFor([&] { return preview->output()->repaintRequests() > before + 10; },
                        kRecordingPatienceMs))
        << "the recording plays in the dialog's own graph";
    EXPECT_TRUE(
        waitFor([&] { return preview->positionSlider()->maximum() >= 4; }, kRecordingPatienceMs));
    QPointer<VideoPreviewDlg> alive(preview);
    QString kept = temporary.left(temporary.size() - 4);
    preview->button("record/btn_save.png")->click();
    EXPECT_TRUE(waitFor([&] { return alive.isNull(); }, kRecordingPatienceMs))
        << "saving closes the dialog";

    EXPECT_TRUE(kept.endsWith(".flv"));
    EXPECT_TRUE(QFile::exists(kept));
    EXPECT_FALSE(QFile::exists(temporary));
    EXPECT_EQ(panel.list()->paths(), QStringList{kept});
    RecordItem* item = panel.list()->itemOf(kept);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(waitFor([&] { return item->durationSeconds() > 0; }, kRecordingPatienceMs));
    EXPECT_NEAR(item->durationSeconds(), shown, 1) << item->durationText().toStdString();
    QStringList saved;
    SettingsDb::instance()->loadStringList("myvideo_list", saved);
    EXPECT_EQ(saved, QStringList{kept});

    QString added;
    auto connection =
        QObject::connect(BoxSiteListener::instance(), &BoxSiteListener::sig_videoFileAdd,
                         [&](QString path) { added = path; });
    VideoPreviewDlg* again = nullptr;
    QObject::connect(&panel, &RecordControlView::sig_previewOpened,
                     [&](VideoPreviewDlg* dialog) { again = dialog; });
    panel.list()->itemDoubleClicked(kept);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->mode(), VideoPreviewDlg::kFromList);
    EXPECT_EQ(again->windowTitle(), "预览视频");
    again->button("record/btn_addvideolist.png")->click();
    EXPECT_EQ(added, kept) << "added to the video list";
    QObject::disconnect(connection);
    settle();
}

// A recorder that takes its time to write the file out (a slow or busy
// disk): the real output, whose finishing first waits until the window has
// answered 50 looks of the test (at most 3 s, when the window stands still).
std::atomic<int> g_looks{0};

struct SlowToFinish : WmvRecordOutput {
    using WmvRecordOutput::WmvRecordOutput;
    ~SlowToFinish() override {
        int from = g_looks.load();
        eventually([from] { return g_looks.load() >= from + 50; }, std::chrono::seconds(3));
    }
};

// Stopping a recording whose file takes long to finish: the window answers
// all along, the stop button shows that the file is being finished, and
// the preview comes once the file is complete.
TEST_F(RecordPanelTest, AFileThatTakesLongToFinishDoesNotFreezeTheWindow) {
    RecordControlView::setOutputFactory([](const std::wstring& path, int rate, int channels) {
        return std::make_unique<SlowToFinish>(path, rate, channels);
    });
    RecordControlView panel;
    panel.show();
    settle();
    bool finishingShown = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        ++g_looks;
        finishingShown = finishingShown ||
                         (panel.isFinishing() && panel.stopButton()->isVisible() &&
                          !panel.stopButton()->isEnabled() && !panel.startButton()->isVisible());
    });
    look.start(20);
    qint64 pause = 0;
    VideoPreviewDlg* preview = record(panel, 1, nullptr, &pause);
    look.stop();
    RecordControlView::setOutputFactory({});
    ASSERT_NE(preview, nullptr);
    std::printf("event loop pause while a slow recording was finished: %lld ms\n",
                static_cast<long long>(pause));
    EXPECT_LT(pause, 500) << "the window stood still while the file was finished";
    EXPECT_TRUE(finishingShown) << "the stop button said the file was being finished";
    EXPECT_FALSE(panel.isFinishing());
    EXPECT_TRUE(panel.startButton()->isVisible());
    EXPECT_TRUE(panel.stopButton()->isEnabled());
    EXPECT_GE(countVideoFrames(preview->path().toStdString()), 25)
        << "about 2.4 s at 15 fps are in the file when it is previewed";
    preview->closeButton()->click();
    settle();
}

TEST_F(RecordPanelTest, DeletingAndSavingAsKeepEveryRecordingWhereItBelongs) {
    ScratchDir elsewhere;
    SaveAsChooser chooser;
    CustomFileDialog::setChooser(&chooser);
    RecordControlView panel;
    settle();

    VideoPreviewDlg* discarded = record(panel, 1);
    ASSERT_NE(discarded, nullptr);
    QString thrownAway = discarded->path();
    EXPECT_EQ(discarded->button("record/btn_del.png")->toolTip(), "删除：移到回收站");
    discarded->button("record/btn_del.png")->click();
    settle();
    EXPECT_FALSE(QFile::exists(thrownAway)) << "the delete button takes the new recording away";
    EXPECT_TRUE(inTrash(thrownAway)) << "to the trash, from where it can be put back";
    EXPECT_FALSE(panel.list()->paths().contains(thrownAway));

    VideoPreviewDlg* savedAs = record(panel, 1);
    QString first = savedAs->path();
    chooser.answer = QString::fromStdString(elsewhere.file("mine"));  // typed without ".flv"
    QString saved = QString::fromStdString(elsewhere.file("mine.flv"));
    savedAs->button("record/btn_saveas.png")->click();
    EXPECT_TRUE(waitFor([&] { return panel.list()->paths().contains(saved); }))
        << "copied off the window's thread, then listed";
    EXPECT_TRUE(QFile::exists(saved));
    EXPECT_FALSE(QFile::exists(chooser.answer)) << "no file without the extension";
    EXPECT_FALSE(QFile::exists(first));

    qint64 firstSize = QFileInfo(saved).size();
    VideoPreviewDlg* replacing = record(panel, 2);
    QString replacement = replacing->path();
    qint64 replacementSize = QFileInfo(replacement).size();
    ASSERT_NE(replacementSize, firstSize) << "recordings of two seconds and one tell apart";
    replacing->button("record/btn_saveas.png")->click();  // the same name, replace confirmed
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(replacement); }))
        << "saved as a name that is taken: it takes that file's place";
    EXPECT_EQ(QFileInfo(saved).size(), replacementSize);
    EXPECT_TRUE(inTrash(saved)) << "the file it replaced went to the trash";
    EXPECT_EQ(panel.list()->paths().count(saved), 1);
    EXPECT_TRUE(QFileInfo(saved).dir().entryList({"*.part"}, QDir::Files).isEmpty())
        << "no half-made copy is left";

    VideoPreviewDlg* clash = record(panel, 1);
    QString second = clash->path();
    chooser.answer = QString::fromStdString(elsewhere.file("no such folder/mine.flv"));
    {
        MessageAnswer answer(QMessageBox::Ok);
        clash->button("record/btn_saveas.png")->click();  // a copy that cannot be made
        EXPECT_TRUE(waitFor([&] { return !answer.text.isEmpty(); }));
        EXPECT_EQ(answer.text, "另存为失败，录制文件已保留");
    }
    EXPECT_TRUE(QFile::exists(second)) << "a failed save-as keeps the recording";
    ASSERT_NE(panel.list()->itemOf(second), nullptr);
    EXPECT_TRUE(panel.list()->itemOf(second)->isUnsaved());
    EXPECT_EQ(QFileInfo(saved).size(), replacementSize) << "and the file it was to replace";

    std::vector<QString> removed;
    auto connection =
        QObject::connect(BoxSiteListener::instance(), &BoxSiteListener::sig_videoFileRemove,
                         [&](QString path) { removed.push_back(path); });
    ASSERT_NE(panel.list()->itemOf(saved), nullptr);
    panel.list()->itemOf(saved)->setSelected(true);
    panel.list()->itemOf(second)->setSelected(true);
    {
        MessageAnswer no(QMessageBox::No);
        panel.deleteButton()->click();
        EXPECT_EQ(no.text, "确定将本地文件移到回收站？");
    }
    EXPECT_TRUE(QFile::exists(saved)) << "No keeps the files";
    EXPECT_EQ(timesInTrash(saved), 1) << "only the file replaced before";
    {
        MessageAnswer yes(QMessageBox::Yes);
        panel.deleteButton()->click();
    }
    EXPECT_FALSE(QFile::exists(saved));
    EXPECT_FALSE(QFile::exists(second));
    EXPECT_EQ(timesInTrash(saved), 2) << "deleted from the list: in the trash";
    EXPECT_TRUE(inTrash(second));
    QStringList stored{"stale"};
    SettingsDb::instance()->loadStringList("myvideo_list", stored);
    EXPECT_TRUE(stored.isEmpty()) << "the list is saved without them at once";
    EXPECT_EQ(removed, (std::vector<QString>{saved, second}));
    EXPECT_TRUE(panel.list()->paths().isEmpty());
    QObject::disconnect(connection);
    CustomFileDialog::setChooser(nullptr);
}

// A trash that cannot take files (here its "files" is not a folder): nothing
// is unlinked instead, the person is told, and the recording stays listed.
TEST_F(RecordPanelTest, ARecordingTheTrashCannotTakeIsKeptAndListed) {
    QDir().mkpath(trashFolder());
    QFile blocked(trashFolder() + "files");
    ASSERT_TRUE(blocked.open(QIODevice::WriteOnly));
    blocked.close();
    QString folder = RecordControlView::recordFolder();
    QString kept = folder + "my;clip 中文.flv";
    QString unsaved = folder + "20240101090000000.flv_tmp";
    auto makeRecording = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the only copy");
    };
    makeRecording(kept);
    RecordControlView panel;
    settle();
    panel.list()->addPath(kept);

    panel.list()->itemOf(kept)->setSelected(true);
    {
        // The question, and once it is answered, the message that follows.
        MessageAnswer yes(QMessageBox::Yes);
        std::unique_ptr<MessageAnswer> told;
        QTimer next;
        QObject::connect(&next, &QTimer::timeout, [&] {
            if (!yes.text.isEmpty() && !told)
                told = std::make_unique<MessageAnswer>(QMessageBox::Ok);
        });
        next.start(10);
        panel.deleteButton()->click();
        EXPECT_EQ(yes.text, "确定将本地文件移到回收站？");
        ASSERT_NE(told, nullptr);
        EXPECT_TRUE(told->text.startsWith("无法移到回收站，以下文件已保留：\n" + kept + "\n"))
            << told->text.toStdString();
    }
    EXPECT_TRUE(QFile::exists(kept)) << "not unlinked in the trash's stead";
    EXPECT_TRUE(panel.list()->paths().contains(kept));
    {
        RecordControlView nextStart;
        settle();
        EXPECT_EQ(nextStart.list()->paths(), QStringList{kept}) << "a name with ';' is kept listed";
    }

    makeRecording(unsaved);
    panel.list()->addPath(unsaved);

    VideoPreviewDlg* preview = nullptr;
    QObject::connect(&panel, &RecordControlView::sig_previewOpened,
                     [&](VideoPreviewDlg* dialog) { preview = dialog; });
    panel.list()->itemDoubleClicked(unsaved);
    ASSERT_NE(preview, nullptr);
    ASSERT_EQ(preview->mode(), VideoPreviewDlg::kAfterRecording);
    {
        MessageAnswer told(QMessageBox::Ok);
        preview->button("record/btn_del.png")->click();
        EXPECT_TRUE(waitFor([&] { return !told.text.isEmpty(); }));
        EXPECT_TRUE(told.text.startsWith("无法移到回收站，录制文件已保留：\n"))
            << told.text.toStdString();
    }
    settle();
    EXPECT_TRUE(QFile::exists(unsaved));
    ASSERT_NE(panel.list()->itemOf(unsaved), nullptr) << "still offered to be saved";
    EXPECT_TRUE(panel.list()->itemOf(unsaved)->isUnsaved());
    QFile::remove(trashFolder() + "files");  // the other tests' trash works again
}

TEST_F(RecordPanelTest, AFailedRenameOrAClosedWindowKeepsTheRecording) {
    RecordControlView panel;
    settle();
    VideoPreviewDlg* preview = record(panel, 1);
    QString temporary = preview->path();
    QString kept = temporary.left(temporary.size() - 4);
    QFile blocker(kept);  // a file already has the kept name
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        MessageAnswer answer(QMessageBox::Ok);
        preview->button("record/btn_save.png")->click();
        settle();
        EXPECT_EQ(answer.text, "重命名录制文件失败");
    }
    settle();
    EXPECT_TRUE(QFile::exists(temporary)) << "the dialog went, the recording stays";
    ASSERT_NE(panel.list()->itemOf(temporary), nullptr);
    EXPECT_TRUE(panel.list()->itemOf(temporary)->isUnsaved());

    VideoPreviewDlg* closed = record(panel, 1);
    QString undecided = closed->path();
    closed->closeButton()->click();
    settle();
    EXPECT_TRUE(QFile::exists(undecided)) << "the window's close button decides nothing";
    EXPECT_NE(panel.list()->itemOf(undecided), nullptr);

    // Closed by the window manager (Alt+F4, the taskbar): the same way out.
    VideoPreviewDlg* dismissed = record(panel, 1);
    QString dismissedPath = dismissed->path();
    QPointer<VideoPreviewDlg> alive(dismissed);
    dismissed->close();
    settle();
    EXPECT_TRUE(alive.isNull()) << "the dialog and its player are gone, not hidden";
    ASSERT_NE(panel.list()->itemOf(dismissedPath), nullptr) << "listed at once";
    EXPECT_TRUE(panel.list()->itemOf(dismissedPath)->isUnsaved());

    QString shown;
    setFileManagerOpener([&](const QString& path) {
        shown = path;
        return true;
    });
    panel.list()->itemOf(undecided)->setSelected(true);
    panel.openPositionButton()->click();
    EXPECT_EQ(shown, undecided);
    {
        // No file manager answers: the person is told, with where the file is.
        MessageAnswer answer(QMessageBox::Ok);
        setFileManagerOpener([](const QString&) { return false; });
        panel.openPositionButton()->click();
        EXPECT_TRUE(waitFor([&] { return !answer.text.isEmpty(); }));
        EXPECT_TRUE(answer.text.startsWith("没有可以打开文件位置的文件管理器"))
            << answer.text.toStdString();
        EXPECT_TRUE(answer.text.contains(undecided)) << answer.text.toStdString();
    }
    setFileManagerOpener({});
}

TEST_F(RecordPanelTest, ARecordingLeftByAKilledProgramIsOfferedAgain) {
    QString orphan = RecordControlView::recordFolder() + "20240101080000000.flv_tmp";
    ChildProcess recorder;
    ASSERT_TRUE(recorder.spawn(LUMORA_RECORD_CRASH_HELPER, {orphan.toStdString()}));
    std::string line;
    ASSERT_TRUE(recorder.readLine(&line, std::chrono::seconds(20)));
    ASSERT_EQ(line, "recording");
    QTest::qWait(3000);
    recorder.signal(SIGKILL);
    recorder.wait();
    ASSERT_TRUE(QFile::exists(orphan));

    RecordControlView panel;
    settle();
    RecordItem* item = panel.list()->itemOf(orphan);
    ASSERT_NE(item, nullptr) << "listed at the next start";
    EXPECT_TRUE(item->isUnsaved());
    EXPECT_TRUE(waitFor([&] { return item->durationSeconds() > 0; }, kRecordingPatienceMs))
        << "its duration is recovered";
    EXPECT_NEAR(item->durationSeconds(), 3, 1);

    VideoPreviewDlg* preview = nullptr;
    QObject::connect(&panel, &RecordControlView::sig_previewOpened,
                     [&](VideoPreviewDlg* dialog) { preview = dialog; });
    panel.list()->itemDoubleClicked(orphan);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->mode(), VideoPreviewDlg::kAfterRecording) << "it can still be saved";
    preview->button("record/btn_save.png")->click();
    settle();
    EXPECT_TRUE(QFile::exists(orphan.left(orphan.size() - 4)));
}

// Each choice of the preview dialog is reported once its player has let go
// of the file, so that the rename, deletion or copy that answers it finds
// the file closed: nothing in this process has it open at that moment.
TEST_F(RecordPanelTest, ThePreviewReportsAChoiceOnlyOnceItsPlayerHasClosedTheFile) {
    ScratchDir media;
    std::string clip = media.file("recording.mp4");
    TestVideo video;
    video.seconds = 3;
    ASSERT_TRUE(makeTestVideo(clip, video));
    QString path = QString::fromStdString(clip);
    for (const char* way : {"record/btn_save.png", "record/btn_del.png", "window manager"}) {
        SCOPED_TRACE(way);
        auto* dialog = new VideoPreviewDlg(VideoPreviewDlg::kAfterRecording, path, 3);
        int reports = 0;
        bool openWhenReported = false;
        auto check = [&] {
            ++reports;
            openWhenReported = openWhenReported || openInThisProcess(path);
        };
        QObject::connect(dialog, &VideoPreviewDlg::sig_save, check);
        QObject::connect(dialog, &VideoPreviewDlg::sig_discard, check);
        QObject::connect(dialog, &VideoPreviewDlg::sig_keepUnsaved, check);
        dialog->showDialog();
        uint64_t before = dialog->output()->repaintRequests();
        dialog->button("record/btn_startplay.png")->click();
        ASSERT_TRUE(waitFor([&] { return dialog->output()->repaintRequests() > before + 5; },
                            kRecordingPatienceMs));
        ASSERT_TRUE(openInThisProcess(path)) << "playing, the player has the file open";
        if (std::string(way) == "window manager") {
            dialog->close();
        } else {
            dialog->button(way)->click();
        }
        EXPECT_EQ(reports, 1);
        EXPECT_FALSE(openWhenReported) << "the player still had the file open";
        settle();
    }
}
