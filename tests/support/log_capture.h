#pragma once

#include <string>
#include <vector>

// Collects every debugLog line written while it exists (one at a time).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines so far, without their line feeds.
    std::vector<std::string> lines() const;
    void clear();
};
