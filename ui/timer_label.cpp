#include "ui/timer_label.h"

#include <QTimerEvent>

#include "ui/ui_kit.h"

TimerLabel::TimerLabel(QWidget* parent) : QLabel(parent) {
    setStyleSheet("color: #FFFFFF;");
    refresh();
}

void TimerLabel::start() {
    elapsed_ = 0;
    if (timerId_ == 0) {
        timerId_ = startTimer(1000);
    }
    refresh();
}

void TimerLabel::stop() {
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    elapsed_ = 0;
    refresh();
}

void TimerLabel::advance(int seconds) {
    elapsed_ += seconds;
    refresh();
}

void TimerLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_) {
        advance(1);
    }
}

void TimerLabel::refresh() { setText(clockText(elapsed_)); }
