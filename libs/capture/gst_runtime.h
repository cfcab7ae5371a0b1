#pragma once

// Initialises GStreamer once per process; safe from any thread. False when
// GStreamer cannot start (then every capture call fails cleanly).
bool ensureGStreamer();
