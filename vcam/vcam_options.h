#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/language.h"
#include "vcam/frame_converter.h"

// What lumora-vcam was asked to do.
struct VCamOptions {
    // AutoDevice: every loopback device labelled for us, else PipeWire, else
    // nothing.
    enum class Target { AutoDevice, Device, PipeWire, Stream };
    Target target = Target::AutoDevice;
    std::vector<std::string> devicePaths;  // with Target::Device, one or more
    OutputFormat format = OutputFormat::Yuyv;
    bool formatGiven = false;
    bool help = false;
    bool check = false;  // a diagnosis (of the devices given, if any) instead of a camera
};

// Parses the command line; on a mistake returns nothing and says why in `error`.
std::optional<VCamOptions> parseVCamOptions(int argc, const char* const* argv, std::string* error);

// The --help text, with how to load the loopback module, in Chinese or
// English (programLanguage(): the same rule as Lumora's window).
std::string vcamUsage(const char* program, Language language);
