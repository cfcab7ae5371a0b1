#pragma once

#include <glib.h>

#include <string>

#include "libs/recorder/live_state.h"
#include "libs/recorder/live_target.h"

// How one connection of a stream ended: cleanly, after the end of what it
// was given, or failed for a reason, with the words of whatever failed
// (never holding the key).
struct LiveEnding {
    bool clean = false;
    LiveStopReason reason = LiveStopReason::Failed;
    std::string text;
};

// What an error srtsink posted means for a person, from its error and its
// debug text.
LiveStopReason classifySrtError(const GError* error, const char* debug);

// Whether a stream that was live tries again after this failure. A refused
// key would be refused again, and retrying it looks like an attack to some
// servers; a bad address stays bad.
bool retriesAfter(LiveStopReason reason);
