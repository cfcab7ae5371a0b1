#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vcam/frame_converter.h"

// What lumora-vcam was asked to do.
struct VCamOptions {
    // AutoDevice: every loopback device labelled for us, else PipeWire, else
    // nothing. Check: a diagnosis instead of a camera.
    enum class Target { AutoDevice, Device, PipeWire, Stream, Check };
    Target target = Target::AutoDevice;
    std::vector<std::string> devicePaths;  // with Target::Device, one or more
    OutputFormat format = OutputFormat::Yuyv;
    bool formatGiven = false;
    bool help = false;
};

// Parses the command line; on a mistake returns nothing and says why in `error`.
std::optional<VCamOptions> parseVCamOptions(int argc, const char* const* argv, std::string* error);

// The --help text, with how to load the loopback module.
std::string vcamUsage(const char* program);
