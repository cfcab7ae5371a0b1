#pragma once

// Writes one printf-style line to standard error, where the desktop session's
// journal collects it; when standard error is a terminal, to the log file
// $XDG_STATE_HOME/LumoraBox/lumora.log instead. At most 4,095 characters are kept; a line whose
// text ends in white space gets a line break in place of that white space, any other line gets one
// appended. Never fails; safe from any thread.
void debugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where debugLog lines go instead of standard error, for tests that check what
// was logged. nullptr restores standard error. The sink is called on the
// logging thread and must be thread-safe itself.
using DebugLogSink = void (*)(const char* line);
void setDebugLogSink(DebugLogSink sink);
