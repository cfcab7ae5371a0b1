#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/eventually.h"

// A person's first session with Lumora, click by click on a private X
// server with a test camera: open the camera, choose a preset, a pendant
// and a scrolling caption, see them on the virtual camera, record five
// seconds and keep them, quit, start again and find it all restored.
// Window coordinates follow the fixed 982 x 648 layout; a screenshot of
// every step goes to the build tree.
namespace {
using namespace std::chrono_literals;
constexpr int kWidth = 640, kHeight = 480;

struct Pixel {
    int r, g, b;
};

// One picture from the virtual camera, as a chat program would get it.
struct VirtualCameraPicture {
    std::vector<unsigned char> bgr = std::vector<unsigned char>(kWidth * kHeight * 3);
    Pixel at(int x, int y) const {
        const unsigned char* p = &bgr[(static_cast<size_t>(y) * kWidth + x) * 3];
        return {p[2], p[1], p[0]};
    }
    // How many pixels of row y look like the caption's cyan band.
    int cyanInRow(int y) const {
        int count = 0;
        for (int x = 0; x < kWidth; ++x) {
            Pixel p = at(x, y);
            count += p.r < 90 && p.g > 200 && p.b > 200;
        }
        return count;
    }
};

VirtualCameraPicture readVirtualCamera() {
    ChildProcess reader;
    EXPECT_TRUE(reader.spawn(LUMORA_VCAM, {"--output", "-", "--format", "bgr24"}));
    VirtualCameraPicture picture;
    for (int frame = 0; frame < 8; ++frame) {  // a fresh one, not the first repeated
        EXPECT_TRUE(reader.readExactly(picture.bgr.data(), picture.bgr.size(), 10s));
    }
    reader.signal(SIGTERM);
    reader.wait();
    return picture;
}

// Reads the virtual camera until a picture shows what `wanted` looks for,
// for at most `limit`; that picture, or the last one read. What the program
// shows after a click takes as long as it takes: the test waits for it, not
// for a fixed time.
VirtualCameraPicture awaitVirtualCamera(
    const std::function<bool(const VirtualCameraPicture&)>& wanted,
    std::chrono::seconds limit = 20s) {
    ChildProcess reader;
    EXPECT_TRUE(reader.spawn(LUMORA_VCAM, {"--output", "-", "--format", "bgr24"}));
    VirtualCameraPicture picture;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline &&
           reader.readExactly(picture.bgr.data(), picture.bgr.size(), 10s) && !wanted(picture)) {
    }
    reader.signal(SIGTERM);
    reader.wait();
    return picture;
}

bool isCrownGold(Pixel p) { return p.r > 200 && p.g > 140 && p.b < 100; }

// The crown and the caption band, as 皇冠 and the scrolling caption put them.
bool isDressed(const VirtualCameraPicture& picture) {
    return isCrownGold(picture.at(320, 120)) && picture.cyanInRow(445) > 300;
}

std::string step(const std::string& name) { return std::string(LUMORA_WALK_SHOTS) + "/" + name; }

std::vector<std::string> recordingsIn(const std::string& folder) {
    std::vector<std::string> found;
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            found.push_back(entry.path().filename().string());
        }
    }
    return found;
}
}  // namespace

TEST(WalkTest, APersonsFirstSessionAndItsReturn) {
    std::filesystem::create_directories(LUMORA_WALK_SHOTS);
    DesktopHome home;
    auto lumora = startLumora();
    std::string window = visibleWindow();
    ASSERT_FALSE(window.empty());
    awaitVirtualCamera([](const VirtualCameraPicture&) { return true; });  // the graph runs
    screenshot(step("01-started.png"));

    clickAt(window, 333, 365, 2500);  // 打开摄像头 over the preview
    screenshot(step("02-camera-open.png"));
    VirtualCameraPicture plain = readVirtualCamera();
    EXPECT_FALSE(isCrownGold(plain.at(320, 120))) << "the test camera's green bar";
    EXPECT_LT(plain.cyanInRow(445), 200) << "no caption yet";

    clickAt(window, 738, 78);   // the effect tab
    clickAt(window, 773, 185);  // preset 深度美白
    screenshot(step("03-preset.png"));
    clickAt(window, 775, 124);  // the pendant page
    clickAt(window, 919, 185);  // pendant 皇冠
    screenshot(step("04-pendant.png"));
    clickAt(window, 853, 124);                   // the caption page
    clickAt(window, 842, 363);                   // scrolling: open the list ...
    xdotool({"key", "Down", "Down", "Return"});  // ... and choose 向左滚动
    // The choice is saved as it is made, once the list has taken the key and
    // closed: only then may the next click come.
    ASSERT_TRUE(
        eventually([&] { return home.settings().find("direct:2") != std::string::npos; }, 10s))
        << home.settings();
    clickAt(window, 762, 170, 1500);  // caption on
    screenshot(step("05-caption.png"));

    VirtualCameraPicture dressed = awaitVirtualCamera(isDressed);
    EXPECT_TRUE(isCrownGold(dressed.at(320, 120))) << "the crown on the virtual camera";
    EXPECT_GT(dressed.cyanInRow(445), 300) << "the caption band on the virtual camera";

    clickAt(window, 891, 78);         // the record tab
    clickAt(window, 728, 135, 5000);  // 开始录制, five seconds
    screenshot(step("06-recording.png"));
    clickAt(window, 728, 135, 2000);  // 停止录制
    std::string dialog = visibleWindow("保存视频", 10s);
    ASSERT_FALSE(dialog.empty()) << "the preview of the new recording";
    screenshot(step("07-preview.png"));
    clickAt(dialog, 282, 411, 1500);  // 保存
    screenshot(step("08-kept.png"));
    std::string videos = home.folder.file("Documents/LumoraBox/MyVideo");
    std::vector<std::string> kept = recordingsIn(videos);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].size(), 17u + 4u) << kept[0] << ": the start time and .flv";
    EXPECT_EQ(kept[0].substr(17), ".flv");

    lumora->signal(SIGTERM);
    ASSERT_EQ(lumora->wait(20s), 0);
    std::string settings = home.settings();
    EXPECT_NE(settings.find("effect_0=1"), std::string::npos) << settings;
    EXPECT_NE(settings.find("effect_1=259"), std::string::npos) << settings;
    EXPECT_NE(settings.find("bopen:1"), std::string::npos);
    EXPECT_NE(settings.find("direct:2"), std::string::npos) << "scrolling to the left";
    EXPECT_NE(settings.find(kept[0]), std::string::npos) << "the recording is listed";

    auto again = startLumora();
    window = visibleWindow();
    ASSERT_FALSE(window.empty());
    VirtualCameraPicture restored = awaitVirtualCamera(isDressed);
    clickAt(window, 738, 78);
    screenshot(step("09-restarted-effects.png"));
    EXPECT_TRUE(isCrownGold(restored.at(320, 120))) << "the pendant is back";
    EXPECT_GT(restored.cyanInRow(445), 300) << "the caption is back";
    clickAt(window, 891, 78);
    screenshot(step("10-restarted-recordings.png"));
    again->signal(SIGTERM);
    EXPECT_EQ(again->wait(20s), 0);
}
