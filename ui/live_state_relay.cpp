#include "ui/live_state_relay.h"

#include <QMetaObject>

LiveStateRelay::LiveStateRelay(QObject* receiver, Delivery deliver)
    : receiver_(receiver), deliver_(std::move(deliver)) {}

void LiveStateRelay::onLiveState(LiveState state, LiveStopReason reason) {
    // Queued even on the receiver's own thread: start() tells "connecting"
    // from inside the page's own call, which must not re-enter it.
    QMetaObject::invokeMethod(
        receiver_, [deliver = deliver_, state, reason] { deliver(state, reason); },
        Qt::QueuedConnection);
}
