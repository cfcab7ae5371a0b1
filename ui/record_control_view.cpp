#include "ui/record_control_view.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/box_site_listener.h"
#include "app/desktop_trash.h"
#include "app/media_site.h"
#include "app/recording_files.h"
#include "app/settings_db.h"
#include "base/debug_log.h"
#include "engine/play_graph.h"
#include "outputs/wmv_record_output.h"
#include "ui/file_manager.h"
#include "ui/record_graphic_view.h"
#include "ui/record_item.h"
#include "ui/timer_label.h"
#include "ui/video_preview_dlg.h"
#include "ui/work_queue.h"
#include "widgets/button_skin.h"
#include "widgets/custom_message_box.h"

namespace {
constexpr int kRecordSoundAndVideo = 3;
const char* const kListKey = "myvideo_list";

RecordControlView::OutputFactory& outputFactory() {
    static RecordControlView::OutputFactory factory;
    return factory;
}

std::unique_ptr<WmvRecordOutput> makeOutput(const std::wstring& path, int frameRate, int channels) {
    if (outputFactory()) {
        return outputFactory()(path, frameRate, channels);
    }
    OutputMode mode = PlayGraph::Instance()->Mode();
    return std::make_unique<WmvRecordOutput>(path, frameRate, channels, mode.width, mode.height);
}

// The graph's counts at a recording's start and stop: their difference says
// whether the recording got every tick of its rate.
void logGraphTicks(const char* when) {
    TickLedger::Counts counts = PlayGraph::Instance()->Ticks();
    debugLog("recording %s at graph tick %llu, %llu tick slots missed so far", when,
             static_cast<unsigned long long>(counts.ticks),
             static_cast<unsigned long long>(counts.missed));
}

void warn(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
}
}  // namespace

RecordControlView::RecordControlView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 10, 0, 10);
    column->setSpacing(10);
    auto* top = new QHBoxLayout;
    top->setContentsMargins(10, 0, 10, 0);
    start_ = new ButtonSkin("record/btn_record.png", this);
    stop_ = new ButtonSkin("record/btn_stoprecord.png", this);
    time_ = new TimerLabel(this);
    time_->setFixedWidth(100);
    stop_->hide();
    time_->hide();
    top->addWidget(start_);
    top->addWidget(stop_);
    top->addWidget(time_);
    top->addStretch();
    column->addLayout(top);
    list_ = new RecordGraphicView(this);
    list_->setFixedHeight(420);
    column->addWidget(list_);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(10, 0, 10, 0);
    openPosition_ = new ButtonSkin("record/btn_openfilepos.png", this);
    delete_ = new ButtonSkin("record/btn_del.png", this);
    work_ = new WorkQueue(this);
    bottom->addWidget(openPosition_);
    bottom->addStretch();
    bottom->addWidget(delete_);
    column->addLayout(bottom);
    column->addStretch();
    connect(start_, &Button::clicked, this, &RecordControlView::onBtnStart);
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_stopRecording, this, [this] {
        if (isRecording()) {
            onBtnStop();
        }
    });
    connect(stop_, &Button::clicked, this, &RecordControlView::onBtnStop);
    connect(openPosition_, &Button::clicked, this, &RecordControlView::onBtnOpenPos);
    connect(delete_, &Button::clicked, this, &RecordControlView::onBtnDel);
    connect(list_, &RecordGraphicView::sig_previewRequested, this,
            &RecordControlView::onPreviewRequested);
    QTimer::singleShot(0, this, &RecordControlView::loadFromDb);
}

RecordControlView::~RecordControlView() {
    // At exit the recording is finished here, and whatever the work queue
    // still writes is waited for by its destructor: no file is cut short.
    if (output_) {
        PlayGraph::Instance()->RemoveOutput(output_.get());
        output_.reset();
    }
    saveToDb();
}

void RecordControlView::setOutputFactory(OutputFactory factory) {
    outputFactory() = std::move(factory);
}

QString RecordControlView::recordFolder() { return recording_files::folder(); }

QString RecordControlView::temporaryPath(const QDateTime& start) {
    return recording_files::temporaryPath(start);
}

void RecordControlView::onBtnStart() {
    if (isFinishing()) {
        return;  // one recording is still being written out
    }
    if (!output_) {
        QString path = temporaryPath(QDateTime::currentDateTime());
        auto output = makeOutput(path.toStdWString(), PlayGraph::Instance()->FrameRate(),
                                 kRecordSoundAndVideo);
        if (!output->start()) {
            output.reset();
            QFile::remove(path);  // ours, and no picture was ever written to it
            warn(this, tr("错误"), tr("录制初始化失败"));
            return;
        }
        output_ = std::move(output);
        PlayGraph::Instance()->AddOutput(output_.get());
        MediaSite::instance()->setRecording(true);
        temporaryPath_ = path;
        logGraphTicks("started");
    }
    stop_->show();
    start_->hide();
    time_->show();
    time_->start();
}

bool RecordControlView::isFinishing() const { return finishing_; }

void RecordControlView::onBtnStop() {
    time_->hide();
    int seconds = time_->elapsed();
    time_->stop();
    if (!output_) {
        showIdle();
        return;
    }
    PlayGraph::Instance()->RemoveOutput(output_.get());
    logGraphTicks("stopped");
    MediaSite::instance()->setRecording(false);
    // The recorder drains what it still holds and writes the file's index,
    // which can take seconds: not on this thread. The stop button stays,
    // greyed, until the file is complete; only then is it previewed.
    finishing_ = true;
    stop_->setEnabled(false);
    stop_->setToolTip(tr("正在完成录制文件…"));
    // Handed over whole: the work queue's thread alone destroys it. (With a
    // shared pointer this thread could drop the last copy and wait after all.)
    WmvRecordOutput* recording = output_.release();
    work_->post([recording] { delete recording; },
                [this, seconds] {
                    finishing_ = false;
                    showIdle();
                    openPreview(VideoPreviewDlg::kAfterRecording, temporaryPath_, seconds);
                });
}

void RecordControlView::showIdle() {
    stop_->setEnabled(true);
    stop_->setToolTip(QString());
    stop_->hide();
    start_->show();
}

void RecordControlView::openPreview(int mode, const QString& path, int seconds) {
    auto* dialog = new VideoPreviewDlg(mode, path, seconds);
    if (mode == VideoPreviewDlg::kAfterRecording) {
        connect(dialog, &VideoPreviewDlg::sig_save, this, &RecordControlView::onDlgSave);
        connect(dialog, &VideoPreviewDlg::sig_saveAs, this, &RecordControlView::onDlgSaveAs);
        connect(dialog, &VideoPreviewDlg::sig_discard, this, &RecordControlView::onDlgDiscard);
        connect(dialog, &VideoPreviewDlg::sig_keepUnsaved, this, &RecordControlView::onKeepUnsaved);
    } else {
        connect(dialog, &VideoPreviewDlg::sig_addVideo, BoxSiteListener::instance(),
                &BoxSiteListener::sig_videoFileAdd);
    }
    // Over the main window, where the person is looking, and on the screen;
    // a compositor that places windows itself centres it there as the main
    // window's own.
    dialog->adjustSize();
    dialog->setTransientOwner(window());
    QRect over = window()->frameGeometry();
    dialog->move(over.center() - dialog->rect().center());
    dialog->showDialog();
    emit sig_previewOpened(dialog);
}

void RecordControlView::onPreviewRequested(QString path, int seconds) {
    bool unsaved = recording_files::isUnsaved(path);
    openPreview(unsaved ? VideoPreviewDlg::kAfterRecording : VideoPreviewDlg::kFromList, path,
                seconds);
}

void RecordControlView::keepUnsaved(const QString& path) {
    debugLog("recording kept unsaved: %s", qPrintable(path));
    list_->addPath(path);
}

void RecordControlView::onKeepUnsaved(QString path) { keepUnsaved(path); }

void RecordControlView::onDlgSave(QString path) {
    QString kept = path.left(path.size() - 4);
    if (!QFile::rename(path, kept)) {
        warn(this, tr("出错"), tr("重命名录制文件失败"));
        keepUnsaved(path);
        return;
    }
    list_->removeItem(path);
    list_->addPath(kept);
    saveToDb();
}

void RecordControlView::onDlgSaveAs(QString oldPath, QString newPath) {
    // A long recording copied to another disk takes a while: off this thread.
    // It is copied beside the chosen name first, so a file already there
    // (the file dialog asked before replacing it) is only set aside once
    // the whole copy is made.
    QString partial = unusedPartialName(newPath);
    auto copied = std::make_shared<bool>(false);
    work_->post([=] { *copied = QFile::copy(oldPath, partial); },
                [this, oldPath, newPath, partial, copied] {
                    finishSaveAs(oldPath, newPath, *copied ? partial : QString());
                });
}

QString RecordControlView::unusedPartialName(const QString& target) {
    QString name = target + ".part";
    for (int n = 1; QFileInfo::exists(name); ++n) {
        name = QString("%1.%2.part").arg(target).arg(n);
    }
    return name;
}

void RecordControlView::finishSaveAs(const QString& oldPath, const QString& newPath,
                                     const QString& copy) {
    QString problem;
    bool placed = !copy.isEmpty() &&
                  (!QFileInfo::exists(newPath) || moveToDesktopTrash(newPath, &problem)) &&
                  QFile::rename(copy, newPath);
    if (!placed) {
        // Only our own copy goes; the recording and the file it was to
        // replace stay where they are.
        if (!copy.isEmpty()) {
            QFile::remove(copy);
        }
        debugLog("save as %s failed %s", qPrintable(newPath), qPrintable(problem));
        warn(this, tr("出错"), tr("另存为失败，录制文件已保留"));
        keepUnsaved(oldPath);
        return;
    }
    // The recording lives on in its copy; the temporary file was ours, and a
    // second copy of a long recording in the trash would only fill the disk.
    QFile::remove(oldPath);
    list_->removeItem(oldPath);
    list_->removeItem(newPath);  // a replaced recording's row showed the old file
    list_->addPath(newPath);
    saveToDb();
}

void RecordControlView::onDlgDiscard(QString path) {
    QString problem;
    if (!moveToDesktopTrash(path, &problem)) {
        warn(this, tr("出错"), tr("无法移到回收站，录制文件已保留：\n%1").arg(problem));
        keepUnsaved(path);
        return;
    }
    list_->removeItem(path);
}

void RecordControlView::onBtnDel() {
    QStringList paths = list_->selectedPaths();
    if (paths.isEmpty()) {
        return;
    }
    int answer = CustomMessageBox::question(this, tr("提示"), tr("确定将本地文件移到回收站？"),
                                            QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        return;
    }
    QStringList kept;  // each with why the trash did not take it
    for (const QString& path : paths) {
        QString problem;
        if (!moveToDesktopTrash(path, &problem)) {
            kept << path + "\n" + problem;
            continue;  // still listed, still on the disk
        }
        list_->removeItem(path);
        emit BoxSiteListener::instance()->sig_videoFileRemove(path);
    }
    saveToDb();
    if (!kept.isEmpty()) {
        warn(this, tr("出错"), tr("无法移到回收站，以下文件已保留：\n%1").arg(kept.join("\n")));
    }
}

void RecordControlView::onBtnOpenPos() {
    QString path = list_->firstSelectedPath();
    if (path.isEmpty()) {
        return;
    }
    showInFileManager(path, this, [this, path](bool shown) {
        if (!shown) {
            warn(this, tr("提示"),
                 tr("没有可以打开文件位置的文件管理器，文件在：\n%1")
                     .arg(QDir::toNativeSeparators(path)));
        }
    });
}

void RecordControlView::saveToDb() {
    QStringList kept;
    for (const QString& path : list_->paths()) {
        if (!recording_files::isUnsaved(path))
            kept << path;
    }
    SettingsDb::instance()->saveStringList(kListKey, kept);
}

void RecordControlView::loadFromDb() {
    QStringList paths;
    SettingsDb::instance()->loadStringList(kListKey, paths);
    for (const QString& path : paths) {
        list_->addPath(path);
    }
    // Recordings a crash or a failed save left behind are offered again.
    for (const QString& path : recording_files::recoverUnsaved(temporaryPath_)) {
        list_->addPath(path);
    }
}
