#include "ui/timer_label.h"

#include <QTimerEvent>

#include "ui/ui_kit.h"

TimerLabel::TimerLabel(QWidget* parent) : QLabel(parent) {
    setStyleSheet("color: #FFFFFF;");
    refresh();
}

void TimerLabel::start() {
    elapsed_ = advanced_ = 0;
    clock_.start();
    if (timerId_ == 0) {
        timerId_ = startTimer(1000, Qt::PreciseTimer);
    }
    refresh();
}

void TimerLabel::stop() {
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    elapsed_ = advanced_ = 0;
    clock_.invalidate();
    refresh();
}

int TimerLabel::elapsed() const {
    return clock_.isValid() ? static_cast<int>(clock_.elapsed() / 1000) + advanced_ : elapsed_;
}

void TimerLabel::advance(int seconds) {
    advanced_ += seconds;
    elapsed_ += seconds;
    refresh();
}

void TimerLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_ && clock_.isValid()) {
        elapsed_ = elapsed();
        refresh();
    }
}

void TimerLabel::refresh() { setText(clockText(elapsed_)); }
