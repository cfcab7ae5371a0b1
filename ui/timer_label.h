#pragma once

#include <QLabel>

// The running time of a recording, "MM:SS", counting once a second from start().
class TimerLabel : public QLabel {
    Q_OBJECT

public:
    explicit TimerLabel(QWidget* parent = nullptr);

    void start();
    // Stops counting and goes back to 0.
    void stop();
    int elapsed() const { return elapsed_; }
    bool isCounting() const { return timerId_ != 0; }
    // For tests: as if `seconds` more had passed.
    void advance(int seconds);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void refresh();

    int timerId_ = 0;
    int elapsed_ = 0;
};
