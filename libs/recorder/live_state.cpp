#include "libs/recorder/live_state.h"

const char* liveStateName(LiveState state) {
    switch (state) {
        case LiveState::Connecting:
            return "connecting";
        case LiveState::Live:
            return "live";
        case LiveState::Reconnecting:
            return "reconnecting";
        case LiveState::Stopped:
            return "stopped";
    }
    return "?";
}

const char* liveStopReasonName(LiveStopReason reason) {
    switch (reason) {
        case LiveStopReason::None:
            return "none";
        case LiveStopReason::Requested:
            return "requested";
        case LiveStopReason::BadUrl:
            return "bad address";
        case LiveStopReason::UnknownHost:
            return "unknown host";
        case LiveStopReason::ConnectionRefused:
            return "connection refused";
        case LiveStopReason::KeyRefused:
            return "key refused";
        case LiveStopReason::TlsFailure:
            return "TLS failure";
        case LiveStopReason::NoAnswer:
            return "no answer";
        case LiveStopReason::Failed:
            return "failed";
    }
    return "?";
}
