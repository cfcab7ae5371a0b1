#include "app/helper_keeper.h"

#include <QDateTime>

#include <algorithm>

#include "base/debug_log.h"

HelperKeeper::HelperKeeper(std::string program, std::vector<std::string> arguments, QObject* parent,
                           int lookIntervalMs)
    : QObject(parent), program_(std::move(program)), arguments_(std::move(arguments)) {
    timer_.setInterval(lookIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &HelperKeeper::look);
}

bool HelperKeeper::start() {
    timer_.start();
    return helper_.start(program_, arguments_);
}

void HelperKeeper::look() {
    if (helper_.isRunning() || !helper_.failed()) {
        return;  // running, never asked for, or finished well
    }
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    std::erase_if(recentRestarts_, [now](qint64 at) { return now - at > 60'000; });
    if (static_cast<int>(recentRestarts_.size()) >= kRestartsPerMinute) {
        return;  // it keeps dying: wait for the minute to pass
    }
    recentRestarts_.push_back(now);
    ++restarts_;
    debugLog("helper %s failed to start or ended badly, started again", program_.c_str());
    helper_.start(program_, arguments_);
}
