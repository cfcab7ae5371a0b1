#include "ui/video_preview_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/recording_files.h"
#include "engine/play_graph.h"
#include "outputs/video_wnd_output.h"
#include "sources/video_file_source.h"
#include "ui/ui_kit.h"
#include "widgets/btn_hlayout.h"
#include "widgets/button_skin.h"
#include "widgets/custom_file_dialog.h"
#include "widgets/play_slider_bar.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kFrameRate = 15;
constexpr int kRefreshMs = 500;
}  // namespace

VideoPreviewDlg::VideoPreviewDlg(int mode, const QString& path, int seconds, QWidget* parent)
    : CustomDialog(parent), mode_(mode), path_(path), seconds_(seconds) {
    setWindowTitle(mode == kAfterRecording ? tr("保存视频") : tr("预览视频"));
    setContentsMargins(8, 8, 8, 8);
    titleBar()->setMinimumHeight(40);
    border_.setPicture(SkinStyle::instance()->pixmap("dialog_border.png"), 46, 12, 12, 12);
    graph_ = PlayGraph::Create(kFrameRate);
    display_ = new VideoWndView(this);
    display_->setFixedSize(400, 300);
    output_ = new VideoWndOutput(display_, false);
    display_->setOutput(output_);
    graph_->AddOutput(output_);
    mainLayout()->addWidget(display_, 0, Qt::AlignHCenter);
    mainLayout()->addWidget(buildControls(seconds));
    mainLayout()->addWidget(buildModeButtons());
    graph_->Start();
    showTime(0, seconds);
}

QWidget* VideoPreviewDlg::buildControls(int seconds) {
    auto* controls = new QWidget(this);
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(10, 8, 10, 4);
    row->setSpacing(6);
    play_ = new ButtonSkin("record/btn_startplay.png", controls);
    pause_ = new ButtonSkin("record/btn_pause.png", controls);
    pause_->hide();
    position_ = new PlaySliderBar(0.55, controls);
    position_->setMaximum(seconds);
    time_ = whiteLabel(QString(), controls);
    volume_ = new PlaySliderBar(0.55, controls);
    volume_->setFixedWidth(50);
    volume_->setMaximum(100);
    row->addWidget(play_);
    row->addWidget(pause_);
    row->addWidget(position_, 1);
    row->addWidget(time_);
    row->addWidget(whiteLabel(tr("音量:"), controls));
    row->addWidget(volume_);
    connect(play_, &Button::clicked, this, &VideoPreviewDlg::onBtnPlay);
    connect(pause_, &Button::clicked, this, &VideoPreviewDlg::onBtnStop);
    connect(position_, &PlaySliderBar::valueChanged, this, &VideoPreviewDlg::onPlayPosChanged);
    connect(volume_, &PlaySliderBar::valueChanged, this, &VideoPreviewDlg::onVolPosChanged);
    return controls;
}

QWidget* VideoPreviewDlg::buildModeButtons() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(10, 4, 10, 8);
    row->setSpacing(10);
    row->addStretch();
    auto add = [&](const char* picture, void (VideoPreviewDlg::*slot)()) {
        auto* button = new ButtonSkin(picture, bar);
        connect(button, &Button::clicked, this, slot);
        row->addWidget(button);
        return button;
    };
    if (mode_ == kAfterRecording) {
        add("record/btn_saveas.png", &VideoPreviewDlg::onBtnSaveAs);
        add("record/btn_save.png", &VideoPreviewDlg::onBtnSave);
        // Deleted, the recording goes to the trash, so no question is asked.
        add("record/btn_del.png", &VideoPreviewDlg::onBtnCancel)
            ->setToolTip(tr("删除：移到回收站"));
    } else {
        add("record/btn_addvideolist.png", &VideoPreviewDlg::onBtnAdd);
        add("record/btn_close.png", &VideoPreviewDlg::onBtnClose);
    }
    return bar;
}

VideoPreviewDlg::~VideoPreviewDlg() {
    if (mode_ == kAfterRecording && !decided_) {
        finishPlayback();
        emit sig_discard(path_);
    }
    finishPlayback();
    graph_->RemoveOutput(output_);
    delete output_;
    PlayGraph::Destroy(&graph_);
}

ButtonSkin* VideoPreviewDlg::button(const QString& picture) const {
    for (ButtonSkin* candidate : findChildren<ButtonSkin*>()) {
        if (candidate->imagePath() == picture) {
            return candidate;
        }
    }
    return nullptr;
}

QString VideoPreviewDlg::timeText() const { return time_->text(); }

void VideoPreviewDlg::drawBackground(QPainter& painter) { border_.draw(painter, rect()); }

void VideoPreviewDlg::onBtnPlay() {
    if (timerId_ == 0) {
        timerId_ = startTimer(kRefreshMs);
    }
    play_->hide();
    pause_->show();
    if (source_ == nullptr) {
        source_ = new VideoFileSource;
        source_->SetPlayMode(1);
        source_->AddFile(path_);
    }
    graph_->SelectSource(source_, true);
}

void VideoPreviewDlg::onBtnStop() {
    if (source_ == nullptr) {
        return;
    }
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    play_->show();
    pause_->hide();
    refresh();
    source_->Stop();
    graph_->RemoveSource(source_, true);
}

void VideoPreviewDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_) {
        refresh();
    }
}

void VideoPreviewDlg::refresh() {
    if (source_ == nullptr) {
        showTime(0, 0);
        return;
    }
    int64_t position = 0, duration = 0;
    source_->TimeInfo(&position, &duration);
    int seconds = static_cast<int>(position / 1000);
    int total = static_cast<int>(duration / 1000);
    showTime(seconds, total);
    position_->setMaximum(total);
    position_->setValue(seconds);
    volume_->setValue(source_->Volume());
}

void VideoPreviewDlg::showTime(int position, int duration) {
    time_->setText(clockText(position) + "/" + clockText(duration));
}

void VideoPreviewDlg::onPlayPosChanged(int seconds) {
    if (source_ != nullptr) {
        source_->Seek(seconds * 1000);
        refresh();
    }
}

void VideoPreviewDlg::onVolPosChanged(int percent) {
    if (source_ != nullptr) {
        source_->SetVolume(percent);
        refresh();
    }
}

void VideoPreviewDlg::finishPlayback() {
    graph_->Stop();
    if (source_ != nullptr) {
        graph_->RemoveSource(source_, false);
        delete source_;
        source_ = nullptr;
    }
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
}

void VideoPreviewDlg::closeAfter() {
    finishPlayback();
    hide();
    deleteLater();
}

// Each choice ends playback before it is reported, so that the rename, the
// deletion or the copy that answers it finds the file closed.
void VideoPreviewDlg::onBtnSave() {
    decided_ = true;
    finishPlayback();
    emit sig_save(path_);
    closeAfter();
}

void VideoPreviewDlg::onBtnSaveAs() {
    QString name = CustomFileDialog::getSaveFileName_(this, tr("视频另存为"),
                                                      tr("视频文件 (*.flv)"), "saveas");
    if (name.isEmpty()) {
        return;
    }
    decided_ = true;
    finishPlayback();
    emit sig_saveAs(path_, recording_files::savedAsPath(name));
    closeAfter();
}

void VideoPreviewDlg::onBtnCancel() {
    decided_ = true;
    finishPlayback();
    emit sig_discard(path_);
    closeAfter();
}

void VideoPreviewDlg::onBtnAdd() {
    finishPlayback();
    emit sig_addVideo(path_);
    closeAfter();
}

void VideoPreviewDlg::onBtnClose() { closeAfter(); }

void VideoPreviewDlg::closeDialog() {
    if (mode_ == kAfterRecording && !decided_) {
        decided_ = true;
        finishPlayback();
        emit sig_keepUnsaved(path_);
    }
    closeAfter();
}
