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
            if (!takeValue(argc, argv, i, &value, error)) {
                return std::nullopt;
            }
            options.devicePaths.push_back(value);
            options.target = VCamOptions::Target::Device;
        } else if (argument == "--pipewire") {
            options.target = VCamOptions::Target::PipeWire;
        } else if (argument == "--check") {
            options.check = true;
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
                *error = "unknown format \"" + value + "\" (yuyv, rgb24, bgr24 or bgrx)";
                return std::nullopt;
            }
            options.format = *format;
            options.formatGiven = true;
        } else {
            *error = "unknown argument \"" + argument + "\"";
            return std::nullopt;
        }
    }
    bool deviceFormat =
        options.format == OutputFormat::Yuyv || options.format == OutputFormat::Rgb24;
    bool toDevices = options.target == VCamOptions::Target::Device ||
                     options.target == VCamOptions::Target::AutoDevice;
    if (toDevices && !deviceFormat) {
        *error = "a camera device takes yuyv or rgb24";
        return std::nullopt;
    }
    if (options.target == VCamOptions::Target::PipeWire && options.formatGiven) {
        *error = "--pipewire offers BGRx, RGB and YUY2 and lets each consumer choose: no --format";
        return std::nullopt;
    }
    return options;
}

namespace {
std::string chineseUsage(const std::string& name) {
    return "用法：" + name +
           " [--auto | --pipewire | --device /dev/videoN ... | --output - | --check]\n"
           "       [--format 格式]\n"
           "\n"
           "把 Lumora 的画面交给打开摄像头的程序。它读取 Lumora 发布的画面，\n"
           "按 Lumora 的大小和帧率、自上而下转交：640 x 480 每秒 15 帧（默认），\n"
           "1280 x 720 或 1920 x 1080 每秒 30 帧。Lumora 改变大小时，PipeWire\n"
           "摄像头向使用它的程序提供新大小，回环设备随之改变；被程序占用的设备\n"
           "保持原大小并接收缩放后的画面，标准输出保持开始时的大小。Lumora 没有\n"
           "运行时，摄像头保持打开，显示最后一幅画面，两秒后变暗并标上\n"
           "“Lumora直播伴侣”和“已暂停”。\n"
           "\n"
           "  --auto            标签以“Lumora直播伴侣”开头的每个 v4l2loopback 设备；\n"
           "                    没有时，若 PipeWire 守护进程应答则发布 PipeWire 摄像头；\n"
           "                    否则安静退出（默认）\n"
           "  --pipewire        发布 PipeWire 摄像头“Lumora直播伴侣”（Lumora 的大小和\n"
           "                    帧率；BGRx、RGB 或 YUY2）；无需内核模块，无需 root\n"
           "  --device 路径     这个回环设备；多个设备可重复给出\n"
           "  --output -        把原始画面写到标准输出，每秒 30 幅（Lumora 更快时按\n"
           "                    Lumora 的帧率），大小为写出第一幅画面时 Lumora 的大小\n"
           "  --format 格式     yuyv（默认；BT.601 有限范围）或 rgb24；\n"
           "                    配合 --output - 还可用 bgr24 和 bgrx\n"
           "  --check           说明虚拟摄像头还缺什么，每行一项，附上解决的命令\n"
           "\n"
           "一次性设置回环摄像头设备（需要 v4l2loopback-dkms）：\n"
           "  sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"Lumora直播伴侣\"\n"
           "然后在浏览器或聊天程序中选择摄像头“Lumora直播伴侣”。\n"
           "\n"
           "供其他工具使用的原始画面，例如：\n"
           "  " +
           name +
           " --output - --format bgr24 | \\\n"
           "    ffplay -f rawvideo -pixel_format bgr24 -video_size 640x480 -framerate 30 -\n"
           "（Lumora 为 1280 x 720 时：-video_size 1280x720 -framerate 30）。\n";
}
}  // namespace

std::string vcamUsage(const char* program, Language language) {
    std::string name = program;
    if (language == Language::Chinese) {
        return chineseUsage(name);
    }
    return "Usage: " + name +
           " [--auto | --pipewire | --device /dev/videoN ... | --output - | --check]\n"
           "       [--format FORMAT]\n"
           "\n"
           "Feeds Lumora's picture to programs that open a camera. It reads the picture\n"
           "that Lumora publishes and hands it on, top row first, at Lumora's size and\n"
           "rate: 640 x 480 at 15 fps (the default), 1280 x 720 or 1920 x 1080 at 30 fps.\n"
           "When Lumora changes size, a PipeWire camera offers the new size to its\n"
           "programs and a loopback device takes it; a device that a program holds\n"
           "keeps its size and gets the picture scaled, and standard output keeps the\n"
           "size it started with. While Lumora is not running it keeps the camera open\n"
           "and shows the last picture, dimmed with \"Lumora直播伴侣\" and a paused hint\n"
           "after two seconds.\n"
           "\n"
           "  --auto            every v4l2loopback device whose label begins with\n"
           "                    \"Lumora直播伴侣\"; else a PipeWire camera when a PipeWire\n"
           "                    daemon answers; else exit quietly (the default)\n"
           "  --pipewire        publish a PipeWire camera \"Lumora直播伴侣\" (Lumora's size\n"
           "                    and rate; BGRx, RGB or YUY2); no kernel module, no root\n"
           "  --device PATH     this loopback device; give it again for more devices\n"
           "  --output -        write raw pictures to standard output, 30 a second (or\n"
           "                    Lumora's rate when faster), at the size Lumora had when\n"
           "                    the first picture was written\n"
           "  --format FORMAT   yuyv (default; BT.601 limited range) or rgb24;\n"
           "                    bgr24 and bgrx too with --output -\n"
           "  --check           say what stands in the way of the virtual camera,\n"
           "                    one finding a line with the command that mends it\n"
           "\n"
           "Setting up a loopback camera device once (needs v4l2loopback-dkms):\n"
           "  sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"Lumora直播伴侣\"\n"
           "Then pick the camera \"Lumora直播伴侣\" in the browser or chat program.\n"
           "\n"
           "Raw pictures for other tools, for example:\n"
           "  " +
           name +
           " --output - --format bgr24 | \\\n"
           "    ffplay -f rawvideo -pixel_format bgr24 -video_size 640x480 -framerate 30 -\n"
           "(with Lumora at 1280 x 720: -video_size 1280x720 -framerate 30).\n";
}
