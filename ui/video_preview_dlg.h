#pragma once

#include <QString>

#include "widgets/custom_dialog.h"
#include "widgets/nine_slice.h"

class ButtonSkin;
class PlayGraph;
class PlaySliderBar;
class QLabel;
class VideoFileSource;
class VideoWndOutput;
class VideoWndView;

// Plays one recording in a graph of its own, so the process-wide picture is
// untouched. After a recording (mode 0) it offers save, save as and delete;
// from the list (mode 1) add to the video list and close. Every closing
// action deletes the dialog. Delete reports the recording discarded; the
// panel moves it to the trash. A new recording that is neither saved, saved
// as, deleted nor kept by closing the window is discarded when the dialog
// goes.
class VideoPreviewDlg : public CustomDialog {
    Q_OBJECT

public:
    static constexpr int kAfterRecording = 0;
    static constexpr int kFromList = 1;

    VideoPreviewDlg(int mode, const QString& path, int seconds, QWidget* parent = nullptr);
    ~VideoPreviewDlg() override;

    int mode() const { return mode_; }
    const QString& path() const { return path_; }
    QString timeText() const;
    ButtonSkin* button(const QString& picture) const;
    PlaySliderBar* positionSlider() const { return position_; }
    PlaySliderBar* volumeSlider() const { return volume_; }
    VideoWndOutput* output() const { return output_; }
    VideoFileSource* source() const { return source_; }

    void drawBackground(QPainter& painter) override;
    // The window's close button: in mode 0 the recording is kept unsaved.
    void closeDialog() override;

signals:
    void sig_saveAs(QString szold, QString sznew);
    void sig_save(QString path);
    void sig_discard(QString path);
    void sig_addVideo(QString path);
    // Closed by the window's close button without a decision.
    void sig_keepUnsaved(QString path);

public slots:
    void onBtnPlay();
    void onBtnStop();
    void onBtnCancel();
    void onBtnAdd();
    void onBtnClose();
    void onBtnSave();
    void onBtnSaveAs();
    void onVolPosChanged(int percent);
    void onPlayPosChanged(int seconds);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QWidget* buildControls(int seconds);
    QWidget* buildModeButtons();
    void refresh();
    void showTime(int position, int duration);
    void finishPlayback();
    void closeAfter();

    int mode_;
    QString path_;
    int seconds_;
    PlayGraph* graph_ = nullptr;
    VideoWndView* display_ = nullptr;
    VideoWndOutput* output_ = nullptr;
    VideoFileSource* source_ = nullptr;
    int timerId_ = 0;
    QLabel* time_ = nullptr;
    PlaySliderBar* position_ = nullptr;
    PlaySliderBar* volume_ = nullptr;
    ButtonSkin* play_ = nullptr;
    ButtonSkin* pause_ = nullptr;
    bool decided_ = false;  // saved, saved as, deleted or kept: no discard on the way out
    NineSlicePicture border_;
};
