#include "libs/capture/gst_runtime.h"

#include <gst/gst.h>

#include <mutex>

#include "base/debug_log.h"

bool ensureGStreamer() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        ready = gst_init_check(nullptr, nullptr, &error);
        if (!ready) {
            debugLog("capture, GStreamer failed to start: %s", error ? error->message : "?");
            g_clear_error(&error);
        }
    });
    return ready;
}
