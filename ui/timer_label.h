#pragma once

#include <QElapsedTimer>
#include <QLabel>

// The running time of a recording, "MM:SS", refreshed once a second from
// start(). The seconds come from the monotonic clock, so a busy moment that
// delays a tick does not make the time fall behind.
class TimerLabel : public QLabel {
    Q_OBJECT

public:
    explicit TimerLabel(QWidget* parent = nullptr);

    void start();
    // Stops counting and goes back to 0.
    void stop();
    // Whole seconds since start(), read from the clock now.
    int elapsed() const;
    bool isCounting() const { return timerId_ != 0; }
    // For tests: as if `seconds` more had passed.
    void advance(int seconds);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void refresh();

    int timerId_ = 0;
    int elapsed_ = 0;
    int advanced_ = 0;  // seconds added by advance()
    QElapsedTimer clock_;
};
