#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

// A rectangle of screen pixels, for finding a window on a screenshot.
struct ScreenBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A picture of the compositor's whole output: R, G, B bytes, top row first.
struct ScreenPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    // 0xRRGGBB of one pixel.
    uint32_t at(int x, int y) const;
    // The smallest box holding every pixel that is not `colour`; empty when
    // there is none. Pixels inside `ignored` (the pointer's picture) are
    // left out.
    ScreenBox boundsApartFrom(uint32_t colour, const ScreenBox& ignored = {}) const;
    // How many different colours the box holds.
    int coloursIn(const ScreenBox& box) const;
};

// A real Wayland compositor for tests: Weston 10 with its desktop shell and
// the pixman renderer, run as the test's own process with a private runtime
// folder (mode 0700) that holds its socket. The desktop behind the windows is
// one plain colour, so a screenshot tells a window from it.
//
// Headless, Weston draws into memory and has no input devices. In an X
// window, it shows its output in a window of the X server that DISPLAY names
// (placed at the server's top left when no window manager runs) and takes
// that server's pointer and keyboard: xdotool's clicks and drags there reach
// Weston's clients as a person's would, at the same coordinates.
class WestonCompositor {
public:
    enum class Output { Headless, XWindow };
    static constexpr uint32_t kDesktopColour = 0x2a6fb0;

    // `width` x `height` are the output's size in the clients' (logical)
    // pixels; at `scale` 2 Weston tells its clients so (wl_output's scale)
    // and its output and screenshots hold twice as many pixels each way.
    WestonCompositor(Output output, int width, int height, int scale = 1);
    ~WestonCompositor();
    WestonCompositor(const WestonCompositor&) = delete;
    WestonCompositor& operator=(const WestonCompositor&) = delete;

    // Starts Weston and waits (at most 20 s) for its socket. False, with the
    // reason and Weston's log in *problem, when it did not come up.
    bool start(std::string* problem);
    // Ends Weston (SIGTERM, then SIGKILL after 10 s).
    void stop();

    // The socket's absolute path, which clients take as WAYLAND_DISPLAY.
    std::string display() const;
    // Weston's own log so far, for a failing test's message.
    std::string log() const;
    // A screenshot through Weston's screenshooter protocol in the output's
    // own pixels, kept as `pngPath` and read back. False, with the reason in
    // *problem, when none came.
    bool screenshot(const std::string& pngPath, ScreenPicture* picture, std::string* problem);

private:
    bool writeConfig() const;
    std::vector<std::string> arguments() const;

    Output output_;
    int width_;
    int height_;
    int scale_;
    ScratchDir runtime_;
    int shots_ = 0;
    std::unique_ptr<ChildProcess> weston_;
};
