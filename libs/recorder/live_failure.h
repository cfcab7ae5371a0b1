#pragma once

#include <glib.h>

#include "libs/recorder/live_state.h"
#include "libs/recorder/live_target.h"

// What an error the stream's sink posted means for a person, from its error
// and its debug text (rtmp2sink names the network's own error there:
// "domain g-resolver-error-quark" for a name that does not resolve), and
// whether the server had taken a TCP connection from this stream before.
LiveStopReason classifyLiveError(const GError* error, const char* debug, LiveTarget::Kind kind,
                                 bool serverTookConnection);

// Whether a stream that was live tries again after this failure. A refused
// key would be refused again, and retrying it looks like an attack to some
// servers; a bad address stays bad.
bool retriesAfter(LiveStopReason reason);
