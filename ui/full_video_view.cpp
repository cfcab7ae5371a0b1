#include "ui/full_video_view.h"

#include <QImage>
#include <QPainter>
#include <QTimerEvent>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "base/video_frame.h"
#include "engine/play_graph.h"
#include "outputs/video_wnd_output.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

FullVideoView::FullVideoView(QWidget* parent) : QWidget(parent) {
    openCamera_ = new ButtonSkin("video_play/btn_open_camera.png", this);
    openCamera_->move(235, 290);
    openCamera_->show();
    connect(openCamera_, &Button::clicked, this, &FullVideoView::onBtnOpenCam);
    output_ = std::make_unique<VideoWndOutput>(this, true);
    setFixedSize(VideoFrame::kWidth, VideoFrame::kHeight);
    // Every paint covers the whole view (a picture, the background or
    // black), so the window behind it need not be painted fifteen times a
    // second first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    PlayGraph* graph = PlayGraph::Instance();
    graph->AddOutput(output_.get());
    MediaSite::instance();
    graph->Start();
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_videoSrcChange, this,
            &FullVideoView::onSrcChanged);
    enableVideoUpdate(true);
}

FullVideoView::~FullVideoView() { PlayGraph::Instance()->RemoveOutput(output_.get()); }

void FullVideoView::onBtnOpenCam() { MediaSite::instance()->toggleCamera(); }

void FullVideoView::enableVideoUpdate(bool benable) {
    if (benable && timerId_ == 0) {
        timerId_ = startTimer(1000 / qMax(1, PlayGraph::Instance()->FrameRate()));
        output_->setDrawEnabled(false);
    } else if (!benable) {
        if (timerId_ != 0) {
            killTimer(timerId_);
        }
        timerId_ = 0;
        output_->setDrawEnabled(true);
    }
}

void FullVideoView::onSrcChanged() {
    bool running = PlayGraph::Instance()->IsFrontRunning();
    openCamera_->setVisible(!running);
    enableVideoUpdate(!running);
}

void FullVideoView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_ && isVisible()) {
        update();
    }
}

void FullVideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (timerId_ == 0) {
        output_->paintLatest(painter, rect());
        return;
    }
    // The stage picture only behind an output that keeps no copy; read when
    // first needed, since ours keeps one and it would lie unused.
    if (!output_->paintKept(painter, QPoint(0, 0))) {
        painter.drawPixmap(0, 0, SkinStyle::instance()->pixmap("video_play/bg_video_view.png"));
    }
}

SmallVideoView::SmallVideoView(QWidget* parent) : QWidget(parent) { setFixedSize(160, 120); }

PlayerDisplayView::PlayerDisplayView(QWidget* parent) : QWidget(parent) {
    full_ = new FullVideoView(this);
    full_->move(5, 5);
    small_ = new SmallVideoView(full_);
    small_->move(full_->width() - small_->width(), full_->height() - small_->height());
    small_->hide();
    setFixedSize(full_->size() + QSize(10, 10));
    auto* button = new ButtonSkin("video_play/btn_open_camera.png", this);
    button->setProperty("id", 0);
    button->hide();
    connect(button, &Button::clicked, this, &PlayerDisplayView::onButtonClick);
}

// The preview's own open-camera button does the work; this one is inert.
void PlayerDisplayView::onButtonClick() {}
