#pragma once

#include <optional>
#include <string>

#include "vcam/frame_converter.h"

// What lumora-vcam was asked to do.
struct VCamOptions {
    enum class Target { AutoDevice, Device, Stream };
    Target target = Target::AutoDevice;
    std::string devicePath;  // with Target::Device
    OutputFormat format = OutputFormat::Yuyv;
    bool formatGiven = false;
    bool help = false;
};

// Parses the command line; on a mistake returns nothing and says why in `error`.
std::optional<VCamOptions> parseVCamOptions(int argc, const char* const* argv, std::string* error);

// The --help text, with how to load the loopback module.
std::string vcamUsage(const char* program);
