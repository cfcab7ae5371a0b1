#pragma once

#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class ButtonSkin;
class RecordGraphicView;
class TimerLabel;
class VideoPreviewDlg;
class WmvRecordOutput;
class WorkQueue;

// The record tab: records the composed picture with the microphone into a
// ".flv_tmp" file in the data folder's "MyVideo", then offers it in a
// preview dialog to save (as ".flv"), save as or delete. Kept recordings are
// listed under "myvideo_list". No recording is ever lost on an error path: a
// recording whose save fails, that is closed without a decision, or that a
// crash left behind stays as an unsaved item of the list. Deleting, from the
// list or the preview, moves the file to the desktop's trash; one the trash
// cannot take stays where it is, listed, and the person is told.
class RecordControlView : public QWidget {
    Q_OBJECT

public:
    explicit RecordControlView(QWidget* parent = nullptr);
    // Finishes a running recording and saves the list.
    ~RecordControlView() override;

    // Makes each recording's output; tests wrap the real one. An empty
    // function restores the plain output.
    using OutputFactory = std::function<std::unique_ptr<WmvRecordOutput>(
        const std::wstring& path, int frameRate, int channels)>;
    static void setOutputFactory(OutputFactory factory);

    // The folder recordings go to, made when missing.
    static QString recordFolder();
    // The temporary name of a recording started at `start` (local time).
    static QString temporaryPath(const QDateTime& start);

    RecordGraphicView* list() const { return list_; }
    TimerLabel* timeLabel() const { return time_; }
    ButtonSkin* startButton() const { return start_; }
    ButtonSkin* stopButton() const { return stop_; }
    ButtonSkin* deleteButton() const { return delete_; }
    ButtonSkin* openPositionButton() const { return openPosition_; }
    bool isRecording() const { return output_ != nullptr; }
    // A stopped recording is still being written out; its preview follows.
    bool isFinishing() const;

signals:
    // A preview dialog was opened (tests drive it from here).
    void sig_previewOpened(VideoPreviewDlg* dialog);

public slots:
    void onBtnStart();
    void onBtnStop();
    void onBtnDel();
    void onBtnOpenPos();
    void onDlgSave(QString path);
    void onDlgSaveAs(QString oldPath, QString newPath);
    void onDlgDiscard(QString path);
    void loadFromDb();
    void saveToDb();

private slots:
    void onKeepUnsaved(QString path);
    void onPreviewRequested(QString path, int seconds);

private:
    void showIdle();
    // Puts the complete `copy` (empty when copying failed) in the place of
    // `newPath`, whose earlier file goes to the trash.
    void finishSaveAs(const QString& oldPath, const QString& newPath, const QString& copy);
    // A name beside `target` that no file has yet.
    static QString unusedPartialName(const QString& target);
    void openPreview(int mode, const QString& path, int seconds);
    void keepUnsaved(const QString& path);

    ButtonSkin* start_ = nullptr;
    ButtonSkin* stop_ = nullptr;
    TimerLabel* time_ = nullptr;
    std::unique_ptr<WmvRecordOutput> output_;
    QString temporaryPath_;
    RecordGraphicView* list_ = nullptr;
    ButtonSkin* openPosition_ = nullptr;
    ButtonSkin* delete_ = nullptr;
    WorkQueue* work_ = nullptr;  // finishing and copying recordings
    bool finishing_ = false;
};
