#include "engine/debug_log.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
std::atomic<DebugLogSink> g_sink{nullptr};

// Replaces the trailing white space run by one line feed, or appends one.
size_t terminateLine(char* text, size_t length, size_t capacity) {
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) {
        --length;
    }
    if (length + 1 >= capacity) {
        length = capacity - 2;
    }
    text[length++] = '\n';
    text[length] = '\0';
    return length;
}
}  // namespace

void debugLog(const char* format, ...) {
    char line[4096];
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    size_t length = written < 0 ? 0 : std::strlen(line);
    length = terminateLine(line, length, sizeof line);
    if (DebugLogSink sink = g_sink.load()) {
        sink(line);
        return;
    }
    // One write per line, so lines of different threads never interleave.
    ssize_t ignored = ::write(STDERR_FILENO, line, length);
    (void)ignored;
}

void setDebugLogSink(DebugLogSink sink) { g_sink.store(sink); }
