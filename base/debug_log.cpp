#include "base/debug_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

namespace {
std::atomic<DebugLogSink> g_sink{nullptr};

// The log's own file, where crash reports go too: $XDG_STATE_HOME/LumoraBox.
std::string logFilePath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder = state != nullptr && state[0] == '/'
                             ? std::string(state)
                             : std::string(home != nullptr ? home : "/tmp") + "/.local/state";
    return folder + "/LumoraBox/lumora.log";
}

// The log file, opened at its first line in each process (a forked child
// opens its own); standard error when it cannot be opened.
int logFileDescriptor() {
    static std::mutex lock;  // guards the descriptor and its owner below
    static int fd = -1;
    static pid_t owner = 0;
    std::lock_guard<std::mutex> guard(lock);
    if (fd < 0 || owner != ::getpid()) {
        std::string path = logFilePath();
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        owner = ::getpid();
    }
    return fd >= 0 ? fd : static_cast<int>(STDERR_FILENO);
}

// A person's terminal is no place for the program's log lines: there they
// go to the log file; anywhere else (the desktop session's journal, a pipe,
// a file) to standard error as they are.
int logDescriptor() {
    return ::isatty(STDERR_FILENO) != 0 ? logFileDescriptor() : static_cast<int>(STDERR_FILENO);
}

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
    ssize_t ignored = ::write(logDescriptor(), line, length);
    (void)ignored;
}

void setDebugLogSink(DebugLogSink sink) { g_sink.store(sink); }
