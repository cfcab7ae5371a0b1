#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "libs/recorder/live_state.h"

class ButtonSkin;
class LiveStateRelay;
class LiveStreamOutput;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;
class StreamKeyStore;
class WorkQueue;

// The live tab: streams the composed picture with the microphone to a server
// the person names (rtmp://, rtmps:// or srt://) under their stream key, and
// shows how the stream stands: connecting, live, reconnecting, or stopped
// with the reason, and the time live, the rate sent and the pictures left
// out (the last stream's, once it ended).
//
// The address is kept in the settings as it is typed; the key only in the
// key store (the desktop's keyring, or a file only its owner may read), and
// the page says which. The key is never logged or shown in a message.
//
// Nothing here waits for the network or the sound server: the stream
// reports on its own thread and its news is queued to this one; starting a
// stream (the microphone is opened) and ending it (up to two seconds while
// the server is told) run on a work queue, the buttons greyed until done.
// That queue's thread is the streams' control thread (it makes, starts and
// ends them); the page's own thread takes a stream over only once the queue
// is drained, to end it at the page's end. Destroying the page (the program quitting) ends a
// running stream cleanly before it returns.
class LiveControlView : public QWidget {
    Q_OBJECT

public:
    explicit LiveControlView(QWidget* parent = nullptr);
    ~LiveControlView() override;

    QComboBox* serverBox() const { return server_; }
    QLineEdit* keyEdit() const { return key_; }
    ButtonSkin* showKeyButton() const { return showKey_; }
    QSpinBox* rateBox() const { return rate_; }
    ButtonSkin* startButton() const { return start_; }
    ButtonSkin* stopButton() const { return stop_; }
    QLabel* stateLabel() const { return state_; }
    QLabel* keyPlaceLabel() const { return keyPlace_; }
    QLabel* timeLiveLabel() const { return timeLive_; }
    QLabel* sentRateLabel() const { return sentRate_; }
    QLabel* leftOutLabel() const { return leftOut_; }
    // A stream runs or is still being ended.
    bool isStreaming() const { return output_ || pending_ || ending_; }

    // The bit rate chosen when the person has chosen none, for the size.
    static int defaultKbps(int width, int height);

public slots:
    void onBtnStart();
    void onBtnStop();
    void loadFromDb();

private slots:
    void onServerEdited(const QString& text);
    void onServerChosen();
    void onKeyEdited();
    void onRateChanged(int kbps);
    void onShowKey();
    void onOutputModeChanged();
    void refreshCounters();

private:
    void buildForm(QGridLayout* grid);
    void buildStatus(QGridLayout* grid);
    QString server() const;
    void showKeyPlace();
    void storeKey();
    void onLiveState(unsigned generation, LiveState state, LiveStopReason reason);
    void onStarted();
    void showState(const QString& text, bool failed);
    // The state line for a state the stream reported.
    QString stateLine(LiveState state, LiveStopReason reason) const;
    void endStream();
    void retire(std::unique_ptr<LiveStreamOutput> output, std::unique_ptr<LiveStateRelay> relay,
                std::function<void()> done = {});
    void setFieldsEnabled(bool enabled);
    void showStarting();
    void showIdle();
    void showStreaming();

    QComboBox* server_ = nullptr;
    QLineEdit* key_ = nullptr;
    ButtonSkin* showKey_ = nullptr;
    QSpinBox* rate_ = nullptr;
    QLabel* keyPlace_ = nullptr;
    ButtonSkin* start_ = nullptr;
    ButtonSkin* stop_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* timeLive_ = nullptr;
    QLabel* sentRate_ = nullptr;
    QLabel* leftOut_ = nullptr;
    QTimer* refresh_ = nullptr;
    WorkQueue* work_ = nullptr;  // ending streams

    std::unique_ptr<StreamKeyStore> keys_;
    // A stream the work queue makes and starts, handed back to this thread
    // in onStarted (or at the page's end, once the queue was drained).
    struct PendingStart {
        std::unique_ptr<LiveStreamOutput> output;
        bool started = false;
    };

    // The running stream and the relay of its news, which outlives it; the
    // one being started and its relay.
    std::unique_ptr<LiveStateRelay> relay_;
    std::unique_ptr<LiveStreamOutput> output_;
    std::unique_ptr<LiveStateRelay> startingRelay_;
    std::shared_ptr<PendingStart> pending_;
    unsigned generation_ = 0;  // of the running stream; older news is stale
    bool ending_ = false;      // a stream is being ended on the work queue
    bool silent_ = false;      // the running stream has no microphone, so no sound
    bool restart_ = false;     // go live again once it ended (a new picture size)
    bool rateChosen_ = false;  // the person set the bit rate; the size no longer does
    bool loading_ = false;     // controls are being set from the settings
    double lastSeconds_ = 0;   // the counters at the last refresh, for the rate sent
    quint64 lastBytes_ = 0;
};
