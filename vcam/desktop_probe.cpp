#include "vcam/desktop_probe.h"

#include <gio/gio.h>
#include <pipewire/pipewire.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
namespace fs = std::filesystem;

constexpr int kPortalTimeoutMs = 2000;
constexpr int kScanTimeoutSeconds = 2;
constexpr const char* kChromiumFlag = "enable-webrtc-pipewire-camera@1";
constexpr const char* kFirefoxPreference = "\"media.webrtc.camera.allow-pipewire\", true";

// Lists the daemon's clients once: the registry's globals, then one round
// trip so that every global present has been announced.
struct ClientScan {
    pw_main_loop* loop = nullptr;
    pw_core* core = nullptr;
    int syncSequence = 0;
    bool managerSeen = false;
};

void onGlobal(void* data, uint32_t, uint32_t, const char* type, uint32_t,
              const spa_dict* properties) {
    auto* scan = static_cast<ClientScan*>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Client) != 0 || properties == nullptr) {
        return;
    }
    const char* name = spa_dict_lookup(properties, PW_KEY_APP_NAME);
    if (name != nullptr && (std::strcmp(name, "WirePlumber") == 0 ||
                            std::strcmp(name, "pipewire-media-session") == 0)) {
        scan->managerSeen = true;
    }
}

void onDone(void* data, uint32_t id, int sequence) {
    auto* scan = static_cast<ClientScan*>(data);
    if (id == PW_ID_CORE && sequence == scan->syncSequence) {
        pw_main_loop_quit(scan->loop);
    }
}

std::string wholeFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

bool pipeWireSessionManagerRuns() {
    pw_init(nullptr, nullptr);
    ClientScan scan;
    scan.loop = pw_main_loop_new(nullptr);
    pw_context* context = scan.loop != nullptr
                              ? pw_context_new(pw_main_loop_get_loop(scan.loop), nullptr, 0)
                              : nullptr;
    scan.core = context != nullptr ? pw_context_connect(context, nullptr, 0) : nullptr;
    if (scan.core != nullptr) {
        pw_registry* registry = pw_core_get_registry(scan.core, PW_VERSION_REGISTRY, 0);
        spa_hook registryHook{}, coreHook{};
        pw_registry_events registryEvents{};
        registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
        registryEvents.global = &onGlobal;
        pw_core_events coreEvents{};
        coreEvents.version = PW_VERSION_CORE_EVENTS;
        coreEvents.done = &onDone;
        pw_registry_add_listener(registry, &registryHook, &registryEvents, &scan);
        pw_core_add_listener(scan.core, &coreHook, &coreEvents, &scan);
        scan.syncSequence = pw_core_sync(scan.core, PW_ID_CORE, 0);
        // A daemon that stops answering halfway must not hold the check.
        spa_source* patience = pw_loop_add_timer(
            pw_main_loop_get_loop(scan.loop),
            [](void* data, uint64_t) { pw_main_loop_quit(static_cast<pw_main_loop*>(data)); },
            scan.loop);
        timespec limit{kScanTimeoutSeconds, 0};
        pw_loop_update_timer(pw_main_loop_get_loop(scan.loop), patience, &limit, nullptr, false);
        pw_main_loop_run(scan.loop);
        pw_loop_destroy_source(pw_main_loop_get_loop(scan.loop), patience);
        spa_hook_remove(&registryHook);
        spa_hook_remove(&coreHook);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
        pw_core_disconnect(scan.core);
    }
    if (context != nullptr) {
        pw_context_destroy(context);
    }
    if (scan.loop != nullptr) {
        pw_main_loop_destroy(scan.loop);
    }
    return scan.managerSeen;
}

bool cameraPortalAnswers() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        g_clear_error(&error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
        "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.portal.Camera", "version"), nullptr,
        G_DBUS_CALL_FLAGS_NONE, kPortalTimeoutMs, nullptr, &error);
    bool answers = reply != nullptr;
    if (reply != nullptr) {
        g_variant_unref(reply);
    }
    g_clear_error(&error);
    g_object_unref(bus);
    return answers;
}

std::vector<std::string> browsersWithoutPipeWireCamera(const std::string& home) {
    std::vector<std::string> browsers;
    std::error_code ignored;
    for (const auto& profile : fs::directory_iterator(home + "/.mozilla/firefox", ignored)) {
        if (!fs::exists(profile.path() / "prefs.js")) {
            continue;  // not a profile
        }
        std::string prefs =
            wholeFile(profile.path() / "prefs.js") + wholeFile(profile.path() / "user.js");
        if (prefs.find(kFirefoxPreference) == std::string::npos) {
            browsers.push_back("Firefox (profile " + profile.path().filename().string() + ")");
        }
    }
    for (const auto& [folder, name] :
         {std::pair{"chromium", "Chromium"}, std::pair{"google-chrome", "Google Chrome"}}) {
        fs::path state = fs::path(home) / ".config" / folder / "Local State";
        if (fs::exists(state) && wholeFile(state).find(kChromiumFlag) == std::string::npos) {
            browsers.push_back(name);
        }
    }
    return browsers;
}
