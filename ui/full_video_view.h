#pragma once

#include <QWidget>
#include <memory>

class ButtonSkin;
class VideoWndOutput;

// The preview: the composed picture of the process-wide graph, 640 x 480.
// While no source runs it shows its background picture's open-camera button
// and repaints itself at the graph's frame rate from the output's kept copy;
// while a source runs the output draws by itself.
class FullVideoView : public QWidget {
    Q_OBJECT

public:
    explicit FullVideoView(QWidget* parent = nullptr);
    ~FullVideoView() override;

    ButtonSkin* openCameraButton() const { return openCamera_; }
    VideoWndOutput* output() const { return output_.get(); }
    bool isSelfUpdating() const { return timerId_ != 0; }

public slots:
    void onSrcChanged();
    void onBtnOpenCam();
    void enableVideoUpdate(bool benable);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    ButtonSkin* openCamera_ = nullptr;
    std::unique_ptr<VideoWndOutput> output_;
    int timerId_ = 0;
};

// The corner of the preview where a small second picture may go; empty.
class SmallVideoView : public QWidget {
    Q_OBJECT

public:
    explicit SmallVideoView(QWidget* parent = nullptr);
};

// The preview area of the main window: the full view with a 5-pixel margin
// and the hidden small view in its bottom-right corner.
class PlayerDisplayView : public QWidget {
    Q_OBJECT

public:
    explicit PlayerDisplayView(QWidget* parent = nullptr);

    FullVideoView* fullView() const { return full_; }
    SmallVideoView* smallView() const { return small_; }

public slots:
    void onButtonClick();

private:
    FullVideoView* full_ = nullptr;
    SmallVideoView* small_ = nullptr;
};
