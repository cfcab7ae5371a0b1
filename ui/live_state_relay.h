#pragma once

#include <QObject>
#include <functional>

#include "libs/recorder/live_state.h"

// Hands a stream's news to the user-interface thread: told on the stream's
// own thread, it posts each change to `receiver`'s thread, where `deliver`
// runs, so that thread never waits on the stream and the stream never waits
// on it. A change posted while the receiver goes away is dropped with it.
// It must outlive the stream it listens to.
class LiveStateRelay final : public LiveStreamListener {
public:
    using Delivery = std::function<void(LiveState state, LiveStopReason reason)>;

    LiveStateRelay(QObject* receiver, Delivery deliver);

    void onLiveState(LiveState state, LiveStopReason reason) override;

private:
    QObject* receiver_;  // only its thread and its lifetime are used here
    Delivery deliver_;
};
