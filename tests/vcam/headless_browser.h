#pragma once

#include <sys/types.h>

#include <string>

// A real browser, headless, with a fresh profile and its PipeWire camera
// switched on, opening one page; camera access is granted without asking.
// Ended (with every process it started) when the object goes.
class HeadlessBrowser {
public:
    enum class Kind { Chromium, Firefox };

    HeadlessBrowser(Kind kind, const std::string& url);
    ~HeadlessBrowser();
    HeadlessBrowser(const HeadlessBrowser&) = delete;
    HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

    bool started() const { return pid_ > 0; }
    // The end of what the browser wrote, for a failure message.
    std::string logTail() const;
    // Whether the browser has written `text` anywhere in its log.
    bool logContains(const std::string& text) const;
    static const char* name(Kind kind);

private:
    std::string profile_;
    pid_t pid_ = -1;
};
