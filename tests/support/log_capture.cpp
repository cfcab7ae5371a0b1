#include "tests/support/log_capture.h"

#include <mutex>

#include "base/debug_log.h"

namespace {
std::mutex g_lock;  // guards g_lines
std::vector<std::string> g_lines;

void capture(const char* line) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_lines.push_back(std::move(text));
}
}  // namespace

LogCapture::LogCapture() {
    clear();
    setDebugLogSink(&capture);
}

LogCapture::~LogCapture() { setDebugLogSink(nullptr); }

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_lines;
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_lines.clear();
}
