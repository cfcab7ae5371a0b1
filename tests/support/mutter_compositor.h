#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

// GNOME's compositor for tests: mutter as a Wayland display server without
// Xwayland, with a private runtime folder (mode 0700) for its socket and a
// session bus of its own, which starts no service by itself. Unlike Weston 10
// it implements xdg-activation.
//
// It runs in an X window (mutter's nested mode, in the X server that DISPLAY
// names, placed at its top left when no window manager runs) and takes that
// server's keyboard and pointer: xdotool's keys there reach the active
// Wayland window, with the serials that xdg-activation asks for. Run
// headless (--headless --virtual-monitor), mutter 43 announces no keyboard
// on its seat, not even once a RemoteDesktop session has started, and the
// keys such a session injects reach no client: no client there holds a
// serial that xdg-activation would take.
class MutterCompositor {
public:
    MutterCompositor(int width, int height);
    ~MutterCompositor();
    MutterCompositor(const MutterCompositor&) = delete;
    MutterCompositor& operator=(const MutterCompositor&) = delete;

    // Starts the bus and mutter and waits (at most 30 s) for its socket.
    // False, with the reason and mutter's output in *problem, when it did not
    // come up.
    bool start(std::string* problem);
    // Ends mutter (SIGTERM, then SIGKILL after 10 s), then its bus.
    void stop();

    // The socket's absolute path, which clients take as WAYLAND_DISPLAY.
    std::string display() const;
    // The address of mutter's session bus, for DBUS_SESSION_BUS_ADDRESS.
    const std::string& busAddress() const { return busAddress_; }
    // What mutter printed so far, for a failing test's message.
    std::string log() const;

private:
    bool startBus(std::string* problem);
    std::vector<std::string> arguments() const;

    int width_;
    int height_;
    ScratchDir runtime_;
    std::string busAddress_;
    std::unique_ptr<ChildProcess> bus_;
    std::unique_ptr<ChildProcess> mutter_;
};
