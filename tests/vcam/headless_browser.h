#pragma once

#include <sys/types.h>

#include <string>

// A real browser, headless, with a fresh profile, opening one page; camera
// access is granted without asking. Its cameras come through PipeWire (the
// desktop's portal) or, with that left off, straight from the V4L2 devices.
// Ended (with every process it started) when the object goes.
class HeadlessBrowser {
public:
    enum class Kind { Chromium, Firefox };
    enum class Cameras { PipeWire, V4l2 };

    HeadlessBrowser(Kind kind, const std::string& url, Cameras cameras = Cameras::PipeWire);
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
