#pragma once

#include <QWidget>

class ButtonSkin;
class PlaySliderBar;
class QLabel;

// The bar under the preview: mute, camera 1 and camera 2 buttons, the volume
// and the play position of the video that plays, and its time as
// "MM:SS/MM:SS". A timer follows the player once a second, except while the
// user drags a slider. The camera 2 (inset) button is never enabled here.
class PlayerBarView : public QWidget {
    Q_OBJECT

public:
    explicit PlayerBarView(QWidget* parent = nullptr);

    ButtonSkin* button(int id) const;
    PlaySliderBar* volumeSlider() const { return volume_; }
    PlaySliderBar* positionSlider() const { return position_; }
    QString timeText() const;

public slots:
    void onButtonClick();
    void onVolumeChanged(int value);
    void onPlayTimeChanged(int value);
    void onVideoSrcChanged();
    void updateInfo();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void refreshButtons();
    void setPosition(int seconds, int maximum);
    void setVolumeShown(int percent);
    void showTime();

    ButtonSkin* buttons_[3] = {};
    PlaySliderBar* volume_ = nullptr;
    PlaySliderBar* position_ = nullptr;
    QLabel* time_ = nullptr;
    int timerId_ = 0;
    bool guard_ = false;  // the bar itself is moving a slider
};
