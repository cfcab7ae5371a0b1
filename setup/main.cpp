// lumora-loopback-setup: loads Lumora's v4l2loopback devices, and on request
// keeps them across reboots. pkexec runs it as root for the camera panel's
// set-up button; it never sees a password and takes nothing but the action.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "setup/loopback_setup.h"

namespace {
int usage() {
    std::fprintf(stderr, "usage: pkexec lumora-loopback-setup load|load-and-keep\n");
    return kSetupUsage;
}

int keep() {
    std::string error;
    if (!keepLoopbackAtBoot(LoopbackPlaces{}, "/etc", &error)) {
        std::fprintf(stderr, "lumora-loopback-setup: %s\n", error.c_str());
        return kSetupKeepFailed;
    }
    return kSetupDone;
}
}  // namespace

int main(int argc, char** argv) {
    std::optional<SetupAction> action = setupActionOf(argc, argv);
    if (!action) {
        return usage();
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "lumora-loopback-setup: runs as root, through pkexec\n");
        return kSetupNotRoot;
    }
    // modprobe's own complaint is the last line the caller sees, so it is
    // the reason shown; only a modprobe that could not run is ours to tell.
    int loaded = loadLoopbackModule();
    if (loaded < 0) {
        std::fprintf(stderr, "lumora-loopback-setup: cannot run modprobe\n");
    }
    if (loaded != 0) {
        return kSetupModprobeFailed;
    }
    return *action == SetupAction::LoadAndKeep ? keep() : kSetupDone;
}
