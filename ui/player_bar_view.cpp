#include "ui/player_bar_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "base/debug_log.h"
#include "ui/ui_kit.h"
#include "widgets/button_skin.h"
#include "widgets/play_slider_bar.h"

namespace {
PlaySliderBar* barSlider(QWidget* parent) { return new PlaySliderBar(0.55, parent); }
}  // namespace

PlayerBarView::PlayerBarView(QWidget* parent) : QWidget(parent) {
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(5);
    buttons->addStretch();
    const char* const pictures[] = {"video_play/btn_volume_open.png",
                                    "video_play/btn_open_camera1.png",
                                    "video_play/btn_open_camera2.png"};
    for (int id = 0; id < 3; ++id) {
        buttons_[id] = new ButtonSkin(pictures[id], this);
        buttons_[id]->setProperty("id", id);
        connect(buttons_[id], &Button::clicked, this, &PlayerBarView::onButtonClick);
    }
    volume_ = barSlider(this);
    volume_->setMinimumWidth(120);
    volume_->setMaximum(100);
    connect(volume_, &PlaySliderBar::valueChanged, this, &PlayerBarView::onVolumeChanged);
    buttons->addWidget(buttons_[0]);
    buttons->addWidget(volume_);
    buttons->addSpacing(10);
    auto* cameras = new QHBoxLayout;
    cameras->setSpacing(0);
    cameras->addWidget(buttons_[1]);
    cameras->addWidget(buttons_[2]);
    buttons->addLayout(cameras);
    buttons_[2]->setEnabled(false);  // the inset is switched elsewhere

    auto* positionRow = new QHBoxLayout;
    positionRow->setSpacing(8);
    position_ = barSlider(this);
    connect(position_, &PlaySliderBar::valueChanged, this, &PlayerBarView::onPlayTimeChanged);
    time_ = new QLabel("00:00/00:00", this);
    QPalette palette = time_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    time_->setPalette(palette);
    positionRow->addWidget(position_, 1);
    positionRow->addWidget(time_);

    auto* column = new QVBoxLayout(this);
    column->addLayout(buttons);
    column->addLayout(positionRow);
    setPosition(0, 0);
    setVolumeShown(MediaSite::kInitialVolume);
    timerId_ = startTimer(1000);
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_videoSrcChange, this,
            &PlayerBarView::onVideoSrcChanged);
}

ButtonSkin* PlayerBarView::button(int id) const {
    return id >= 0 && id < 3 ? buttons_[id] : nullptr;
}

QString PlayerBarView::timeText() const { return time_->text(); }

void PlayerBarView::onButtonClick() {
    MediaSite* site = MediaSite::instance();
    switch (sender() ? sender()->property("id").toInt() : -1) {
        case 0:
            site->toggleMute();
            break;
        case 1:
            site->toggleCamera();
            break;
        case 2:
            site->toggleInset();
            break;
        default:
            break;
    }
    refreshButtons();
}

void PlayerBarView::refreshButtons() {
    MediaSite* site = MediaSite::instance();
    buttons_[0]->setImage(site->isMuted() ? "video_play/btn_volume_muse.png"
                                          : "video_play/btn_volume_open.png");
    buttons_[1]->setImage(site->isCameraOpen() ? "video_play/btn_close_camera1.png"
                                               : "video_play/btn_open_camera1.png");
    buttons_[2]->setImage(site->isInsetOn() ? "video_play/btn_close_camera2.png"
                                            : "video_play/btn_open_camera2.png");
}

void PlayerBarView::onVideoSrcChanged() { refreshButtons(); }

void PlayerBarView::onVolumeChanged(int value) {
    if (!guard_) {
        MediaSite::instance()->setVolume(value);
    }
}

void PlayerBarView::onPlayTimeChanged(int value) {
    if (guard_) {
        return;
    }
    showTime();
    debugLog("play time slider, value changed, pos %d", value);
    MediaSite::instance()->seek(value * 1000);
}

void PlayerBarView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_) {
        updateInfo();
    }
}

void PlayerBarView::updateInfo() {
    MediaSite* site = MediaSite::instance();
    int percent = 0;
    if (!volume_->isDragging() && site->volume(percent)) {
        setVolumeShown(percent);
    }
    if (position_->isDragging()) {
        return;
    }
    int position = 0, duration = 0;
    if (site->playTime(position, duration)) {
        setPosition(position / 1000, duration / 1000);
    } else if (position_->maximum() != 0) {
        setPosition(0, 0);
    }
}

void PlayerBarView::setPosition(int seconds, int maximum) {
    guard_ = true;
    // The maximum first: the slider refuses a value beyond its maximum.
    position_->setMaximum(maximum);
    position_->setValue(seconds);
    showTime();
    guard_ = false;
}

void PlayerBarView::setVolumeShown(int percent) {
    guard_ = true;
    volume_->setValue(percent);
    guard_ = false;
}

void PlayerBarView::showTime() {
    time_->setText(clockText(position_->value()) + "/" + clockText(position_->maximum()));
}
