#pragma once

#include <QObject>
#include <QTimer>

#include <string>
#include <vector>

#include "app/helper_process.h"

// Keeps a helper program (lumora-vcam) going beside the application: looks
// at it every few seconds, so that an ended helper never lingers as a
// zombie, and starts it again when it died (a crash, a kill) or could not be
// started at all (its file missing or not executable yet), a few times a
// minute at most. A helper that finished well (nothing to feed) is left be.
//
// Threads: the user-interface thread only.
class HelperKeeper : public QObject {
public:
    static constexpr int kLookIntervalMs = 2000;
    static constexpr int kRestartsPerMinute = 5;

    HelperKeeper(std::string program, std::vector<std::string> arguments, QObject* parent = nullptr,
                 int lookIntervalMs = kLookIntervalMs);

    // Starts the helper and the looking; false when it could not start this
    // time (the looks try again).
    bool start();
    bool isRunning() { return helper_.isRunning(); }
    int restarts() const { return restarts_; }

private:
    void look();

    std::string program_;
    std::vector<std::string> arguments_;
    HelperProcess helper_;
    QTimer timer_;
    int restarts_ = 0;
    std::vector<qint64> recentRestarts_;  // ms since the epoch, within the last minute
};
