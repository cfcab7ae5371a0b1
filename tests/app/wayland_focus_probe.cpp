// A small Wayland client of the test's own, for what a test cannot ask of Qt:
// it shows one window and says on its output when the compositor makes that
// window the active one ("active") and when it takes that away ("inactive").
//
// SIGUSR1: the window goes and a new one comes, which a compositor makes the
//          active one as it does any new window.
// A key that reaches the window is told as "key".
// SIGUSR2: with the serial of the last key the window received, the probe
//          asks xdg-activation for a token for its own window, as a launcher
//          does for the program it starts on a person's key press, and prints
//          "token <token>".
// Problems are printed as "problem <what>". It ends on SIGTERM.
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {
constexpr int kWidth = 320, kHeight = 200;

struct Probe {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    xdg_wm_base* shell = nullptr;
    xdg_activation_v1* activation = nullptr;
    wl_surface* surface = nullptr;
    xdg_surface* shellSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    bool activeNow = false;    // as the last toplevel configure said
    bool activeShown = false;  // as last printed
    bool everShown = false;
    uint32_t keySerial = 0;
    bool keyCame = false;
};

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// One plain-coloured picture for every window the probe shows.
wl_buffer* makeBuffer(wl_shm* shm) {
    const int stride = kWidth * 4, size = stride * kHeight;
    int fd = memfd_create("focus-probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) {
        return nullptr;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    auto* pixel = static_cast<uint32_t*>(pixels);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        pixel[i] = 0xff30a050;
    }
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

void pong(void*, xdg_wm_base* shell, uint32_t serial) { xdg_wm_base_pong(shell, serial); }
const xdg_wm_base_listener kShellListener{pong};

void toplevelConfigure(void* data, xdg_toplevel*, int32_t, int32_t, wl_array* states) {
    auto* probe = static_cast<Probe*>(data);
    probe->activeNow = false;
    const auto* state = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
        probe->activeNow = probe->activeNow || state[i] == XDG_TOPLEVEL_STATE_ACTIVATED;
    }
}
void toplevelClose(void*, xdg_toplevel*) {}
// The later events are not sent to the version 1 the probe binds.
const xdg_toplevel_listener kToplevelListener{toplevelConfigure, toplevelClose, nullptr, nullptr};

// A configure is done once its surface part comes: the window is drawn and
// its state told.
void surfaceConfigure(void* data, xdg_surface* shellSurface, uint32_t serial) {
    auto* probe = static_cast<Probe*>(data);
    xdg_surface_ack_configure(shellSurface, serial);
    wl_surface_attach(probe->surface, probe->buffer, 0, 0);
    wl_surface_damage(probe->surface, 0, 0, kWidth, kHeight);
    wl_surface_commit(probe->surface);
    if (!probe->everShown || probe->activeNow != probe->activeShown) {
        probe->everShown = true;
        probe->activeShown = probe->activeNow;
        say(probe->activeNow ? "active" : "inactive");
    }
}
const xdg_surface_listener kSurfaceListener{surfaceConfigure};

void keymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
void enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void leave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void key(void* data, wl_keyboard*, uint32_t serial, uint32_t, uint32_t, uint32_t) {
    auto* probe = static_cast<Probe*>(data);
    probe->keySerial = serial;
    if (!probe->keyCame) {
        say("key");
    }
    probe->keyCame = true;
}
void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener{keymap, enter, leave, key, modifiers, repeatInfo};

void capabilities(void* data, wl_seat* seat, uint32_t caps) {
    auto* probe = static_cast<Probe*>(data);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && probe->keyboard == nullptr) {
        probe->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(probe->keyboard, &kKeyboardListener, probe);
    }
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener{capabilities, seatName};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* probe = static_cast<Probe*>(data);
    auto bind = [&](const wl_interface* type, uint32_t version) {
        return wl_registry_bind(registry, name, type, version);
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        probe->compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        probe->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && probe->seat == nullptr) {
        probe->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 2));
        wl_seat_add_listener(probe->seat, &kSeatListener, probe);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        probe->shell = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(probe->shell, &kShellListener, probe);
    } else if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0) {
        probe->activation = static_cast<xdg_activation_v1*>(bind(&xdg_activation_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener{global, globalRemove};

void showWindow(Probe* probe) {
    if (probe->toplevel != nullptr) {
        xdg_toplevel_destroy(probe->toplevel);
        xdg_surface_destroy(probe->shellSurface);
        wl_surface_destroy(probe->surface);
    }
    probe->everShown = false;
    probe->keyCame = false;
    probe->surface = wl_compositor_create_surface(probe->compositor);
    probe->shellSurface = xdg_wm_base_get_xdg_surface(probe->shell, probe->surface);
    xdg_surface_add_listener(probe->shellSurface, &kSurfaceListener, probe);
    probe->toplevel = xdg_surface_get_toplevel(probe->shellSurface);
    xdg_toplevel_add_listener(probe->toplevel, &kToplevelListener, probe);
    xdg_toplevel_set_title(probe->toplevel, "focus probe");
    xdg_toplevel_set_app_id(probe->toplevel, "lumora.test.focus-probe");
    wl_surface_commit(probe->surface);
}

void tokenDone(void*, xdg_activation_token_v1* token, const char* text) {
    say(std::string("token ") + text);
    xdg_activation_token_v1_destroy(token);
}
const xdg_activation_token_v1_listener kTokenListener{tokenDone};

// Asks for a token with the serial of the last key the window received.
void askForToken(Probe* probe) {
    if (probe->activation == nullptr) {
        say("problem the compositor has no xdg_activation_v1");
        return;
    }
    if (!probe->keyCame) {
        say("problem no key reached the window");
        return;
    }
    xdg_activation_token_v1* token = xdg_activation_v1_get_activation_token(probe->activation);
    xdg_activation_token_v1_add_listener(token, &kTokenListener, probe);
    xdg_activation_token_v1_set_serial(token, probe->keySerial, probe->seat);
    xdg_activation_token_v1_set_surface(token, probe->surface);
    xdg_activation_token_v1_commit(token);
}
}  // namespace

int main() {
    Probe probe;
    probe.display = wl_display_connect(nullptr);
    if (probe.display == nullptr) {
        say("problem no Wayland display");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(probe.display);
    wl_registry_add_listener(registry, &kRegistryListener, &probe);
    wl_display_roundtrip(probe.display);
    if (probe.compositor == nullptr || probe.shm == nullptr || probe.shell == nullptr ||
        (probe.buffer = makeBuffer(probe.shm)) == nullptr) {
        say("problem the compositor lacks wl_compositor, wl_shm or xdg_wm_base");
        return 1;
    }
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGUSR1);
    sigaddset(&handled, SIGUSR2);
    sigaddset(&handled, SIGTERM);
    sigprocmask(SIG_BLOCK, &handled, nullptr);
    int signals = signalfd(-1, &handled, SFD_CLOEXEC);
    showWindow(&probe);

    for (;;) {
        while (wl_display_prepare_read(probe.display) != 0) {
            wl_display_dispatch_pending(probe.display);
        }
        wl_display_flush(probe.display);
        pollfd watched[2] = {{wl_display_get_fd(probe.display), POLLIN, 0}, {signals, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            wl_display_cancel_read(probe.display);
            continue;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            if (wl_display_read_events(probe.display) != 0) {
                say("problem the compositor went away");
                return 1;
            }
        } else {
            wl_display_cancel_read(probe.display);
        }
        if ((watched[0].revents & (POLLHUP | POLLERR)) != 0) {
            return 1;
        }
        wl_display_dispatch_pending(probe.display);
        if ((watched[1].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            if (read(signals, &info, sizeof info) != sizeof info) {
                continue;
            }
            if (info.ssi_signo == SIGTERM) {
                return 0;
            }
            if (info.ssi_signo == SIGUSR1) {
                showWindow(&probe);
            } else {
                askForToken(&probe);
            }
        }
    }
}
