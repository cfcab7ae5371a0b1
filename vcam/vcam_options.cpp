#include "vcam/vcam_options.h"

namespace {
bool takeValue(int argc, const char* const* argv, int& i, std::string* value, std::string* error) {
    if (i + 1 >= argc) {
        *error = std::string(argv[i]) + " needs a value";
        return false;
    }
    *value = argv[++i];
    return true;
}
}  // namespace

std::optional<VCamOptions> parseVCamOptions(int argc, const char* const* argv, std::string* error) {
    VCamOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--auto") {
            options.target = VCamOptions::Target::AutoDevice;
        } else if (argument == "--device") {
            if (!takeValue(argc, argv, i, &options.devicePath, error)) {
                return std::nullopt;
            }
            options.target = VCamOptions::Target::Device;
        } else if (argument == "--output") {
            if (!takeValue(argc, argv, i, &value, error)) {
                return std::nullopt;
            }
            if (value != "-") {
                *error = "--output takes only \"-\" (standard output)";
                return std::nullopt;
            }
            options.target = VCamOptions::Target::Stream;
        } else if (argument == "--format") {
            if (!takeValue(argc, argv, i, &value, error)) {
                return std::nullopt;
            }
            auto format = parseOutputFormat(value);
            if (!format) {
                *error = "unknown format \"" + value + "\" (yuyv, rgb24 or bgr24)";
                return std::nullopt;
            }
            options.format = *format;
            options.formatGiven = true;
        } else {
            *error = "unknown argument \"" + argument + "\"";
            return std::nullopt;
        }
    }
    if (options.target != VCamOptions::Target::Stream && options.format == OutputFormat::Bgr24) {
        *error = "a camera device takes yuyv or rgb24";
        return std::nullopt;
    }
    return options;
}

std::string vcamUsage(const char* program) {
    std::string name = program;
    return "Usage: " + name +
           " [--auto | --device /dev/videoN | --output -] [--format FORMAT]\n"
           "\n"
           "Feeds Lumora's picture to programs that open a camera. It reads the picture\n"
           "that Lumora publishes 30 times a second and writes it, top row first, to a\n"
           "v4l2loopback device or to standard output. While Lumora is not running it\n"
           "keeps repeating the last picture (black before the first).\n"
           "\n"
           "  --auto            use the loopback device labelled \"Lumora直播伴侣\";\n"
           "                    exit quietly when there is none (the default)\n"
           "  --device PATH     use this loopback device\n"
           "  --output -        write raw pictures to standard output\n"
           "  --format FORMAT   yuyv (default; BT.601 limited range) or rgb24;\n"
           "                    bgr24 too with --output -\n"
           "\n"
           "Setting up the camera device once (needs the v4l2loopback-dkms package):\n"
           "  sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"Lumora直播伴侣\"\n"
           "Then pick the camera \"Lumora直播伴侣\" in the browser or chat program.\n"
           "\n"
           "Raw pictures for other tools, for example:\n"
           "  " +
           name +
           " --output - --format bgr24 | \\\n"
           "    ffplay -f rawvideo -pixel_format bgr24 -video_size 640x480 -framerate 30 -\n";
}
