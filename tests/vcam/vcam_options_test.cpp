#include <gtest/gtest.h>

#include "vcam/vcam_options.h"

namespace {
std::optional<VCamOptions> parse(std::vector<const char*> arguments, std::string* error) {
    arguments.insert(arguments.begin(), "lumora-vcam");
    return parseVCamOptions(static_cast<int>(arguments.size()), arguments.data(), error);
}
}  // namespace

TEST(VCamOptionsTest, TargetsAndFormats) {
    std::string error;
    auto defaults = parse({}, &error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->target, VCamOptions::Target::AutoDevice);
    EXPECT_EQ(defaults->format, OutputFormat::Yuyv);

    auto device = parse({"--device", "/dev/video7", "--format", "rgb24"}, &error);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->target, VCamOptions::Target::Device);
    EXPECT_EQ(device->devicePaths, std::vector<std::string>{"/dev/video7"});
    EXPECT_EQ(device->format, OutputFormat::Rgb24);

    auto stream = parse({"--output", "-", "--format", "bgr24"}, &error);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->target, VCamOptions::Target::Stream);
    EXPECT_EQ(stream->format, OutputFormat::Bgr24);

    auto two = parse({"--device", "/dev/video7", "--device", "/dev/video9"}, &error);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->devicePaths, (std::vector<std::string>{"/dev/video7", "/dev/video9"}));

    auto node = parse({"--pipewire"}, &error);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->target, VCamOptions::Target::PipeWire);
    auto check = parse({"--check", "--device", "/dev/video3"}, &error);
    ASSERT_TRUE(check);
    EXPECT_TRUE(check->check);
    EXPECT_EQ(check->devicePaths, std::vector<std::string>{"/dev/video3"});
    auto bgrx = parse({"--output", "-", "--format", "bgrx"}, &error);
    ASSERT_TRUE(bgrx);
    EXPECT_EQ(bgrx->format, OutputFormat::Bgrx);
}

TEST(VCamOptionsTest, MistakesAreExplained) {
    std::string error;
    EXPECT_FALSE(parse({"--format", "nv12"}, &error));
    EXPECT_NE(error.find("nv12"), std::string::npos);
    EXPECT_FALSE(parse({"--device"}, &error));
    EXPECT_NE(error.find("--device"), std::string::npos);
    EXPECT_FALSE(parse({"--output", "file.raw"}, &error));
    EXPECT_FALSE(parse({"--format", "bgr24"}, &error)) << "devices take yuyv or rgb24";
    EXPECT_FALSE(parse({"--device", "/dev/video7", "--format", "bgrx"}, &error));
    EXPECT_FALSE(parse({"--pipewire", "--format", "rgb24"}, &error)) << "the consumer chooses";
    EXPECT_NE(error.find("consumer"), std::string::npos);
    EXPECT_FALSE(parse({"--frobnicate"}, &error));
    EXPECT_NE(error.find("--frobnicate"), std::string::npos);
}

TEST(VCamOptionsTest, HelpNamesThePictureSizesAndWhatEachRoadDoesOnAChange) {
    std::string text = vcamUsage("lumora-vcam", Language::English);
    for (const char* part :
         {"640 x 480 at 15 fps (the default), 1280 x 720 or 1920 x 1080 at 30 fps",
          "a PipeWire camera offers the new size", "a loopback device takes it",
          "keeps its size and gets the picture scaled", "standard output keeps the\nsize it"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

TEST(VCamOptionsTest, HelpSpeaksChineseToAChineseDesktop) {
    std::string text = vcamUsage("lumora-vcam", Language::Chinese);
    for (const char* part :
         {"用法：lumora-vcam", "640 x 480 每秒 15 帧（默认）",
          "PipeWire\n摄像头向使用它的程序提供新大小", "card_label=\"Lumora直播伴侣\"",
          "--check           说明虚拟摄像头还缺什么"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
    EXPECT_EQ(text.find("Usage"), std::string::npos);
}
