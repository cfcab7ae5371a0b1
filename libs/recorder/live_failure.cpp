#include "libs/recorder/live_failure.h"

#include <gst/gst.h>

#include <string>

namespace {
bool mentions(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}
}  // namespace

// The texts are those GStreamer 1.22's rtmp2 and srt elements post: a
// connection refused is a RESOURCE/OPEN_READ "Could not connect"; a publish
// the server turns down is "'publish' cmd failed" (nginx-rtmp closes the
// connection when its on_publish hook says no) or "publish denied", and an
// RTMP server that rejects the application answers the connect with
// NetConnection.Connect.Rejected.
LiveStopReason classifyLiveError(const GError* error, const char* debug, LiveTarget::Kind kind,
                                 bool serverTookConnection) {
    if (error == nullptr) {
        return LiveStopReason::Failed;
    }
    const std::string message = error->message != nullptr ? error->message : "";
    const std::string details = debug != nullptr ? debug : "";
    const std::string all = message + "\n" + details;
    // A server refuses a second publisher of a stream it still has. After a
    // loss that is mostly the lost connection's own stream, which the server
    // drops once it notices the connection gone: not the key's fault, and
    // worth another try. (rtmp2sink: "publish denied; stream already
    // exists", with nginx-rtmp's NetStream.Publish.BadName.)
    if (mentions(all, "stream already exists") || mentions(all, "Publish.BadName")) {
        return LiveStopReason::Failed;
    }
    if (g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_AUTHORIZED) ||
        mentions(all, "'publish' cmd failed") || mentions(all, "publish denied") ||
        mentions(all, "Connect.Rejected")) {
        return LiveStopReason::KeyRefused;
    }
    if (mentions(all, "g-resolver-error-quark") || mentions(all, "Error resolving")) {
        return LiveStopReason::UnknownHost;
    }
    // An SRT caller hears no refusal: its connection just "does not exist"
    // when it first writes, or its set-up fails.
    if (g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ) ||
        mentions(all, "Connection refused") ||
        (kind == LiveTarget::Kind::Srt && (mentions(all, "Connection does not exist") ||
                                           mentions(all, "Connection setup failure")))) {
        return LiveStopReason::ConnectionRefused;
    }
    if (mentions(all, "g-tls-error-quark") || mentions(all, "TLS") ||
        (kind == LiveTarget::Kind::Srt && mentions(all, "passphrase"))) {
        return LiveStopReason::TlsFailure;
    }
    if (mentions(all, "timed out")) {
        // rtmp2sink's connection is the TCP connection and, for rtmps://, the
        // TLS handshake in one, and it says only "Failed to connect: Socket
        // I/O timed out" when either gets no answer. A server that took the
        // TCP connection and then kept silent does not speak TLS there (a
        // plain RTMP port waits for its own handshake); one that never took
        // it did not answer at all.
        return kind == LiveTarget::Kind::Rtmps && serverTookConnection ? LiveStopReason::TlsFailure
                                                                       : LiveStopReason::NoAnswer;
    }
    return LiveStopReason::Failed;
}

bool retriesAfter(LiveStopReason reason) {
    return reason != LiveStopReason::KeyRefused && reason != LiveStopReason::BadUrl &&
           reason != LiveStopReason::Requested;
}
