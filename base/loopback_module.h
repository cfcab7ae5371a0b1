#pragma once

#include <string>
#include <vector>

// Lumora's v4l2loopback devices: the module's options and the two files
// that load it at every boot, exactly as packaging/ ships them (built in, so
// that the root-side set-up helper takes nothing from its caller), and what
// the machine says about the module.

// A file that makes the devices at boot: `folder` under one of the roots kmod
// and systemd read ("modprobe.d", "modules-load.d"), its name and its text.
struct LoopbackBootFile {
    std::string folder;
    std::string name;
    std::string text;
};

// The packaged modprobe options file and the modules-load file.
const std::vector<LoopbackBootFile>& loopbackBootFiles();

// modprobe's arguments that load the module with the packaged options:
// "v4l2loopback", then each option as the options file writes it.
std::vector<std::string> loopbackModprobeArguments();

// lumora-loopback-setup's exit statuses, which the camera panel explains;
// clear of pkexec's own 126 (not authorized) and 127 (could not authenticate).
enum LoopbackSetupStatus {
    kSetupDone = 0,
    kSetupUsage = 64,
    kSetupNotRoot = 65,
    kSetupModprobeFailed = 66,
    kSetupKeepFailed = 67,
};

// Where to look; the defaults are the machine's own, tests point elsewhere.
struct LoopbackPlaces {
    std::string moduleDir = "/sys/module/v4l2loopback";
    // The running kernel's modules; empty: /lib/modules/<uname -r>.
    std::string modulesDir;
    // Where kmod and systemd-modules-load find their folders, /etc first.
    std::vector<std::string> configRoots = {"/etc", "/run", "/usr/local/lib", "/usr/lib", "/lib"};
};

enum class LoopbackModule {
    Loaded,     // in the kernel now
    Installed,  // not loaded, but modprobe finds it for the running kernel
    Missing,    // neither: v4l2loopback-dkms is not installed (or not built)
};

// Reads a few small files; cheap, but not for the interface thread.
LoopbackModule loopbackModuleState(const LoopbackPlaces& places);

// Whether each boot file lies, under its name, in one of the roots' folders.
bool loopbackKeptAtBoot(const LoopbackPlaces& places);
// Whether `file` does.
bool bootFilePresent(const LoopbackPlaces& places, const LoopbackBootFile& file);
