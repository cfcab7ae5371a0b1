#include "libs/recorder/live_failure.h"

#include <gst/gst.h>

#include <string>

namespace {
bool mentions(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}
}  // namespace

// The texts are those GStreamer 1.22's srt elements post. A caller hears no
// refusal: its connection just "does not exist" when it first writes, or
// its set-up fails.
LiveStopReason classifySrtError(const GError* error, const char* debug) {
    if (error == nullptr) {
        return LiveStopReason::Failed;
    }
    const std::string message = error->message != nullptr ? error->message : "";
    const std::string details = debug != nullptr ? debug : "";
    const std::string all = message + "\n" + details;
    if (g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_AUTHORIZED)) {
        return LiveStopReason::KeyRefused;
    }
    if (mentions(all, "g-resolver-error-quark") || mentions(all, "Error resolving")) {
        return LiveStopReason::UnknownHost;
    }
    if (g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ) ||
        mentions(all, "Connection refused") || mentions(all, "Connection does not exist") ||
        mentions(all, "Connection setup failure")) {
        return LiveStopReason::ConnectionRefused;
    }
    if (mentions(all, "passphrase")) {
        return LiveStopReason::TlsFailure;
    }
    if (mentions(all, "timed out")) {
        return LiveStopReason::NoAnswer;
    }
    return LiveStopReason::Failed;
}

bool retriesAfter(LiveStopReason reason) {
    return reason != LiveStopReason::KeyRefused && reason != LiveStopReason::BadUrl &&
           reason != LiveStopReason::Requested;
}
