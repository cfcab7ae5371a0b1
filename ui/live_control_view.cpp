#include "ui/live_control_view.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/box_site_listener.h"
#include "app/settings_db.h"
#include "app/stream_key_store.h"
#include "base/debug_log.h"
#include "engine/play_graph.h"
#include "libs/recorder/live_pipeline.h"
#include "outputs/live_stream_output.h"
#include "ui/live_state_relay.h"
#include "ui/live_state_text.h"
#include "ui/ui_kit.h"
#include "ui/work_queue.h"
#include "widgets/button_skin.h"

namespace {
const char* const kServerKey = "live_server";
const char* const kRateKey = "live_kbps";

// Plain examples of each kind of address, to be completed by the person.
const char* const kServerExamples[] = {"rtmp://127.0.0.1/live", "rtmps://host:443/live",
                                       "srt://host:port"};

constexpr int kLowestKbps = 300;
constexpr int kHighestKbps = 20000;

// The fields in the look of the skin's combo boxes; the editable server
// box's own line edit stays bare inside its frame.
const char* const kFieldStyle =
    "QLineEdit, QSpinBox { background: #1A1F25; color: #FFFFFF; border: 1px solid #3C4550;"
    " border-radius: 4px; padding: 2px 6px; min-height: 20px; }"
    "QLineEdit:focus, QSpinBox:focus { border-color: #5FC3F9; }"
    "QLineEdit:disabled, QSpinBox:disabled, QComboBox:disabled { color: #7C8793; }"
    "QComboBox QLineEdit { background: transparent; border: none; padding: 0; }";

QLabel* mutedLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setStyleSheet("color: #98A4B0;");
    return label;
}

// The key file's path as a person reads it: the home folder as "~".
QString homeRelative(const QString& path) {
    QString home = QDir::homePath();
    return path.startsWith(home + "/") ? "~" + path.mid(home.size()) : path;
}
}  // namespace

LiveControlView::LiveControlView(QWidget* parent)
    : QWidget(parent), keys_(std::make_unique<StreamKeyStore>()) {
    setStyleSheet(kFieldStyle);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);
    auto* form = new QGridLayout;
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(14);
    buildForm(form);
    column->addLayout(form);
    keyPlace_ = mutedLabel(this);
    column->addWidget(keyPlace_);
    start_ = new ButtonSkin("live/btn_start_live.png", this);
    stop_ = new ButtonSkin("live/btn_stop_live.png", this);
    stop_->hide();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch();
    column->addLayout(buttons);
    column->addWidget(separatorLabel("camera/img_line.png", this));
    auto* status = new QGridLayout;
    status->setHorizontalSpacing(8);
    status->setVerticalSpacing(10);
    buildStatus(status);
    column->addLayout(status);
    column->addStretch();

    refresh_ = new QTimer(this);
    refresh_->setInterval(1000);
    work_ = new WorkQueue(this);
    connect(refresh_, &QTimer::timeout, this, &LiveControlView::refreshCounters);
    connect(start_, &Button::clicked, this, &LiveControlView::onBtnStart);
    connect(stop_, &Button::clicked, this, &LiveControlView::onBtnStop);
    connect(BoxSiteListener::instance(), &BoxSiteListener::sig_outputModeChanged, this,
            &LiveControlView::onOutputModeChanged);
    showKeyPlace();
    QTimer::singleShot(0, this, &LiveControlView::loadFromDb);
}

LiveControlView::~LiveControlView() {
    restart_ = false;
    // Streams being started or ended finish that first (the queue waits for
    // them). Its thread is gone then, so this one ends a running stream, or
    // one that started meanwhile, cleanly before the program goes on.
    delete work_;
    work_ = nullptr;
    if (output_) {
        PlayGraph::Instance()->RemoveOutput(output_.get());
        output_.reset();
    }
    if (pending_) {
        pending_->output.reset();  // started, or not, while the queue finished
    }
    relay_.reset();
    startingRelay_.reset();
}

void LiveControlView::buildForm(QGridLayout* grid) {
    server_ = new QComboBox(this);
    server_->setEditable(true);
    server_->setInsertPolicy(QComboBox::NoInsert);
    for (const char* example : kServerExamples) {
        server_->addItem(QString::fromLatin1(example));
    }
    server_->setEditText(QString());
    key_ = new QLineEdit(this);
    key_->setEchoMode(QLineEdit::Password);
    showKey_ = new ButtonSkin("live/btn_show_key.png", this);
    rate_ = new QSpinBox(this);
    rate_->setRange(kLowestKbps, kHighestKbps);
    rate_->setSingleStep(100);
    rate_->setSuffix(" kbit/s");
    // Typed, or stepped with the arrow keys and the wheel; the toolkit's
    // tiny arrows would not take the skin.
    rate_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    OutputMode mode = PlayGraph::Instance()->Mode();
    rate_->setValue(defaultKbps(mode.width, mode.height));

    grid->addWidget(whiteLabel(tr("服务器："), this), 0, 0);
    grid->addWidget(server_, 0, 1, 1, 2);
    grid->addWidget(whiteLabel(tr("推流密钥："), this), 1, 0);
    grid->addWidget(key_, 1, 1);
    grid->addWidget(showKey_, 1, 2);
    grid->addWidget(whiteLabel(tr("码率："), this), 2, 0);
    grid->addWidget(rate_, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(server_, &QComboBox::editTextChanged, this, &LiveControlView::onServerEdited);
    connect(server_, &QComboBox::activated, this, &LiveControlView::onServerChosen);
    connect(server_->lineEdit(), &QLineEdit::editingFinished, this,
            &LiveControlView::onServerChosen);
    connect(key_, &QLineEdit::editingFinished, this, &LiveControlView::onKeyEdited);
    connect(showKey_, &Button::clicked, this, &LiveControlView::onShowKey);
    connect(rate_, &QSpinBox::valueChanged, this, &LiveControlView::onRateChanged);
}

void LiveControlView::buildStatus(QGridLayout* grid) {
    state_ = new QLabel(this);
    state_->setWordWrap(true);
    showState(tr("未直播"), false);
    // Until a stream runs, and after it ended, its last figures stay.
    timeLive_ = whiteLabel(clockText(0), this);
    sentRate_ = whiteLabel(tr("%1 kbit/s").arg(0), this);
    leftOut_ = whiteLabel(QString::number(0), this);
    grid->addWidget(whiteLabel(tr("状态："), this), 0, 0, Qt::AlignTop);
    grid->addWidget(state_, 0, 1);
    grid->addWidget(whiteLabel(tr("直播时长："), this), 1, 0);
    grid->addWidget(timeLive_, 1, 1);
    grid->addWidget(whiteLabel(tr("实际码率："), this), 2, 0);
    grid->addWidget(sentRate_, 2, 1);
    grid->addWidget(whiteLabel(tr("丢弃画面："), this), 3, 0);
    grid->addWidget(leftOut_, 3, 1);
    grid->setColumnStretch(1, 1);
}

int LiveControlView::defaultKbps(int width, int height) { return defaultLiveKbps(width, height); }

QString LiveControlView::server() const { return server_->currentText().trimmed(); }

void LiveControlView::loadFromDb() {
    loading_ = true;
    SettingsDb* settings = SettingsDb::instance();
    server_->setEditText(settings->loadText(kServerKey));
    bool known = false;
    int kbps = settings->loadText(kRateKey).toInt(&known);
    rateChosen_ = known && kbps >= kLowestKbps;
    if (rateChosen_) {
        rate_->setValue(kbps);
    }
    loading_ = false;
    onServerChosen();
}

// The address is saved as it is typed, so that nothing typed is lost.
void LiveControlView::onServerEdited(const QString& text) {
    if (!loading_) {
        SettingsDb::instance()->saveText(kServerKey, text.trimmed());
    }
}

// Another server may have a key of its own: the field shows the one filed
// under it (looked up once the address is complete, not at each letter).
void LiveControlView::onServerChosen() {
    if (loading_ || isStreaming()) {
        return;
    }
    QString address = server();
    QString filed = address.isEmpty() ? QString() : keys_->find(address);
    // A key typed before its server is kept, to be filed under it.
    if (!filed.isEmpty()) {
        key_->setText(filed);
        key_->setCursorPosition(0);
    }
}

// Filed once typed; the field then shows the key's start, as it shows a key
// filled in from the store.
void LiveControlView::onKeyEdited() {
    storeKey();
    key_->setCursorPosition(0);
}

void LiveControlView::storeKey() {
    QString address = server();
    if (address.isEmpty() || keys_->find(address) == key_->text()) {
        return;
    }
    if (!keys_->store(address, key_->text())) {
        keyPlace_->setText(tr("推流密钥未能保存，本次直播仍会使用它。"));
    }
}

void LiveControlView::showKeyPlace() {
    if (keys_->place() == StreamKeyStore::Place::SecretService) {
        keyPlace_->setText(tr("推流密钥保存在桌面的密钥环中。"));
    } else {
        keyPlace_->setText(tr("没有密钥环服务，推流密钥保存在只有您能读写的文件 %1 中。")
                               .arg(homeRelative(StreamKeyStore::privateFilePath())));
    }
}

void LiveControlView::onShowKey() {
    bool hidden = key_->echoMode() == QLineEdit::Password;
    key_->setEchoMode(hidden ? QLineEdit::Normal : QLineEdit::Password);
    showKey_->setImage(hidden ? "live/btn_hide_key.png" : "live/btn_show_key.png");
}

void LiveControlView::onRateChanged(int kbps) {
    if (loading_) {
        return;
    }
    rateChosen_ = true;
    SettingsDb::instance()->saveText(kRateKey, QString::number(kbps));
}

// The stream was made for the old picture size: a running one goes live
// again at the new size, and the bit rate follows the size unless chosen.
void LiveControlView::onOutputModeChanged() {
    if (!rateChosen_) {
        OutputMode mode = PlayGraph::Instance()->Mode();
        loading_ = true;
        rate_->setValue(defaultKbps(mode.width, mode.height));
        loading_ = false;
    }
    if (output_ || pending_) {
        restart_ = true;
        endStream();  // one still starting is ended once it started
    }
}

// Making the stream (its encoders' pools) and opening the microphone take
// a while and talk to the sound server: on the work queue, which is the
// streams' control thread. The page shows the stream once it started.
void LiveControlView::onBtnStart() {
    if (isStreaming()) {
        return;
    }
    storeKey();
    OutputMode mode = PlayGraph::Instance()->Mode();
    const unsigned generation = ++generation_;
    startingRelay_ = std::make_unique<LiveStateRelay>(
        this, [this, generation](LiveState state, LiveStopReason reason) {
            onLiveState(generation, state, reason);
        });
    pending_ = std::make_shared<PendingStart>();
    silent_ = false;  // known once it started
    showStarting();
    work_->post(
        [pending = pending_, relay = startingRelay_.get(), mode, kbps = rate_->value(),
         address = server().toStdString(), key = key_->text().toStdString()] {
            pending->output =
                std::make_unique<LiveStreamOutput>(mode.width, mode.height, mode.frameRate, kbps);
            pending->started = pending->output->start(address, key, relay);
        },
        [this] { onStarted(); });
}

void LiveControlView::onStarted() {
    std::shared_ptr<PendingStart> pending = std::move(pending_);
    std::unique_ptr<LiveStreamOutput> output = std::move(pending->output);
    if (!pending->started) {
        LiveStopReason reason = output->stopReason();
        // Nothing was sent, so ending it does not wait; what it told on its
        // way is stale now: the page says what went wrong itself.
        ++generation_;
        restart_ = false;
        retire(std::move(output), std::move(startingRelay_));
        showIdle();
        showState(liveStateText(LiveState::Stopped,
                                reason == LiveStopReason::BadUrl ? reason : LiveStopReason::Failed),
                  true);
        return;
    }
    output_ = std::move(output);
    relay_ = std::move(startingRelay_);
    silent_ = !output_->hasSound();
    if (silent_) {
        showState(stateLine(output_->state(), output_->stopReason()), false);
    }
    PlayGraph::Instance()->AddOutput(output_.get());
    lastSeconds_ = 0;
    lastBytes_ = 0;
    showStreaming();
    refreshCounters();
    refresh_->start();
    // It may have failed before this page heard it had started, or the
    // picture size changed meanwhile.
    if (restart_ || output_->state() == LiveState::Stopped) {
        endStream();
    }
}

// The queue's thread alone destroys them, the relay after the stream it
// listens to; `done` runs here afterwards.
void LiveControlView::retire(std::unique_ptr<LiveStreamOutput> output,
                             std::unique_ptr<LiveStateRelay> relay, std::function<void()> done) {
    LiveStreamOutput* stream = output.release();
    LiveStateRelay* listener = relay.release();
    work_->post(
        [stream, listener] {
            delete stream;
            delete listener;
        },
        std::move(done));
}

void LiveControlView::onBtnStop() {
    restart_ = false;
    endStream();
}

void LiveControlView::onLiveState(unsigned generation, LiveState state, LiveStopReason reason) {
    if (generation != generation_) {
        return;  // from a stream that has ended since
    }
    debugLog("live page: the stream is %s%s%s", liveStateName(state),
             state == LiveState::Stopped ? ", " : "",
             state == LiveState::Stopped ? liveStopReasonName(reason) : "");
    bool failed = state == LiveState::Stopped && reason != LiveStopReason::Requested;
    showState(stateLine(state, reason), failed);
    if (state == LiveState::Stopped && output_) {
        endStream();  // it ended on its own; what is left of it goes too
    }
}

QString LiveControlView::stateLine(LiveState state, LiveStopReason reason) const {
    QString text = liveStateText(state, reason);
    if (silent_ && state != LiveState::Stopped) {
        text += tr("（无声音：没有麦克风）");
    }
    return text;
}

void LiveControlView::showState(const QString& text, bool failed) {
    state_->setText(text);
    state_->setStyleSheet(failed ? "color: #F0A35E;" : "color: #FFFFFF;");
}

// Takes the stream out of the graph at once and ends it on the work queue:
// the server is told the stream ended, which can take up to two seconds.
void LiveControlView::endStream() {
    if (!output_) {
        return;
    }
    PlayGraph::Instance()->RemoveOutput(output_.get());
    refresh_->stop();
    refreshCounters();
    ending_ = true;
    stop_->setEnabled(false);
    stop_->setToolTip(tr("正在结束直播…"));
    retire(std::move(output_), std::move(relay_), [this] {
        ending_ = false;
        showIdle();
        if (std::exchange(restart_, false)) {
            onBtnStart();
        }
    });
}

void LiveControlView::refreshCounters() {
    if (!output_) {
        return;
    }
    LiveCounters now = output_->counters();
    timeLive_->setText(clockText(static_cast<int>(now.secondsLive)));
    // The rate of the last stretch live, once there is one; the mean before.
    double kbps = now.kbitsPerSecond();
    double stretch = now.secondsLive - lastSeconds_;
    if (lastSeconds_ > 0 && stretch >= 0.5) {
        kbps = static_cast<double>(now.bytesSent - lastBytes_) * 8 / 1000 / stretch;
    }
    if (stretch >= 0.5 || lastSeconds_ == 0) {
        lastSeconds_ = now.secondsLive;
        lastBytes_ = now.bytesSent;
    }
    sentRate_->setText(tr("%1 kbit/s").arg(qRound(kbps)));
    leftOut_->setText(QString::number(now.picturesLeftOut));
}

void LiveControlView::showStarting() {
    setFieldsEnabled(false);
    start_->setEnabled(false);
}

void LiveControlView::setFieldsEnabled(bool enabled) {
    for (QWidget* field : {static_cast<QWidget*>(server_), static_cast<QWidget*>(key_),
                           static_cast<QWidget*>(rate_)}) {
        field->setEnabled(enabled);
    }
    if (!enabled) {
        // Held while live, they show their starts: the scheme and the host.
        server_->lineEdit()->setCursorPosition(0);
        key_->setCursorPosition(0);
    }
}

void LiveControlView::showStreaming() {
    setFieldsEnabled(false);
    start_->hide();
    stop_->setEnabled(true);
    stop_->setToolTip(QString());
    stop_->show();
}

void LiveControlView::showIdle() {
    setFieldsEnabled(true);
    stop_->hide();
    stop_->setEnabled(true);
    stop_->setToolTip(QString());
    start_->setEnabled(true);
    start_->show();
}
