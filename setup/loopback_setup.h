#pragma once

#include <optional>
#include <string>

#include "base/loopback_module.h"

// lumora-loopback-setup runs as root through pkexec, so it takes no path or
// option from its caller: one fixed action, the packaged options, the
// packaged files.
enum class SetupAction {
    Load,         // modprobe v4l2loopback with the packaged options
    LoadAndKeep,  // the same, and the boot files where none are installed
};

// The action the one argument names ("load", "load-and-keep"); nothing for
// anything else, or for more or fewer arguments.
std::optional<SetupAction> setupActionOf(int argc, const char* const* argv);

// Runs modprobe (found in the system's own folders only) with the packaged
// options and a bare environment; its exit status, or -1 when it could not run.
int loadLoopbackModule();

// Writes each boot file that no root of `places` holds into `etcDir`/<its
// folder> (mode 0644, replaced in one step); false with `error` on failure.
bool keepLoopbackAtBoot(const LoopbackPlaces& places, const std::string& etcDir,
                        std::string* error);
