#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/eventually.h"
#include "tests/support/weston_compositor.h"

// The real program on a Weston output of scale 2, as on a high-density
// screen, compared with the same program at scale 1 and with the skin's own
// pictures: what it draws is drawn at the screen's pixels, not enlarged.
namespace {
using namespace std::chrono_literals;

constexpr int kOutputWidth = 1280, kOutputHeight = 800;
// The window's shape at scale 1, and places in the shape's coordinates.
constexpr int kShapeWidth = 964, kShapeHeight = 632;
const ScreenBox kPreview{5, 45, 640, 480};
// The open-camera button over the preview, from video_play/btn_open_camera.png.
const ScreenBox kOpenCamera{5 + 235, 45 + 290, 170, 44};
// Inside the capture size's box on the camera page: the stretch between
// the size's text and the arrow, its top and bottom lines left out.
const ScreenBox kSizeBoxMiddle{850, 259, 60, 20};

// A skin picture: R, G, B, A bytes, top row first.
struct ArtPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

ArtPicture readArt(const std::string& path) {
    ArtPicture art;
    std::istringstream size(commandOutput(
        "ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x '" + path + "'"));
    char by = 0;
    size >> art.width >> by >> art.height;
    std::string bytes = commandOutput("ffmpeg -loglevel error -i '" + path +
                                      "' -f rawvideo -pix_fmt rgba - 2>/dev/null");
    if (art.width <= 0 || bytes.size() != static_cast<size_t>(art.width) * art.height * 4) {
        return {};
    }
    art.rgba.assign(bytes.begin(), bytes.end());
    return art;
}

std::string skinFile(const std::string& name) {
    return (std::filesystem::path(LUMORA_PROGRAM).parent_path() / "skin" / name).string();
}

int channelDistance(uint32_t a, uint32_t b) {
    int most = 0;
    for (int shift : {16, 8, 0}) {
        most = std::max(most, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
    }
    return most;
}

// How the opaque pixels of `art`'s left `width` columns compare with the
// screen at (x, y): how many differ by more than a rounding would.
int pixelsUnlikeArt(const ScreenPicture& screen, int x, int y, const ArtPicture& art, int width) {
    int unlike = 0;
    for (int row = 0; row < art.height; ++row) {
        for (int column = 0; column < width; ++column) {
            const uint8_t* pixel = &art.rgba[(static_cast<size_t>(row) * art.width + column) * 4];
            if (pixel[3] != 255) {
                continue;  // blended with what lies behind it
            }
            uint32_t colour = (uint32_t{pixel[0]} << 16) | (uint32_t{pixel[1]} << 8) | pixel[2];
            unlike += channelDistance(screen.at(x + column, y + row), colour) > 8 ? 1 : 0;
        }
    }
    return unlike;
}

// The fewest unlike pixels with the art placed within a few pixels of (x, y),
// so that the check does not hang on a pixel of layout.
int fewestUnlike(const ScreenPicture& screen, int x, int y, const ArtPicture& art, int width) {
    int fewest = art.width * art.height;
    for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx) {
            fewest = std::min(fewest, pixelsUnlikeArt(screen, x + dx, y + dy, art, width));
        }
    }
    return fewest;
}

// The pixels of `box` (in the shape's logical pixels) that differ between the
// scale-2 screen and the scale-1 screen with each pixel doubled.
int unlikeDoubled(const ScreenPicture& one, const ScreenBox& shapeOne, const ScreenPicture& two,
                  const ScreenBox& shapeTwo, const ScreenBox& box) {
    int unlike = 0;
    for (int y = 0; y < 2 * box.height; ++y) {
        for (int x = 0; x < 2 * box.width; ++x) {
            uint32_t doubled = one.at(shapeOne.x + box.x + x / 2, shapeOne.y + box.y + y / 2);
            uint32_t sharp = two.at(shapeTwo.x + 2 * box.x + x, shapeTwo.y + 2 * box.y + y);
            unlike += channelDistance(doubled, sharp) > 8 ? 1 : 0;
        }
    }
    return unlike;
}

bool inside(const ScreenBox& box, int x, int y) {
    return x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
}

class WaylandScaleTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }

    // The program's window on a fresh Weston output of `scale`: the screen
    // once the preview shows, and the box of the window's shape on it.
    void showWindowAt(int scale, ScreenPicture* screen, ScreenBox* shape) {
        DesktopHome home;
        WestonCompositor compositor(WestonCompositor::Output::Headless, kOutputWidth, kOutputHeight,
                                    scale);
        std::string problem;
        ASSERT_TRUE(compositor.start(&problem)) << problem;
        setenv("WAYLAND_DISPLAY", compositor.display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        auto lumora = startLumora();
        std::filesystem::create_directories(LUMORA_WAYLAND_SHOTS);
        std::string path =
            std::string(LUMORA_WAYLAND_SHOTS) + "/scale-" + std::to_string(scale) + ".png";
        bool shown = eventually(
            [&] {
                if (!compositor.screenshot(path, screen, &problem)) {
                    return true;  // no screenshot will come: stop asking
                }
                *shape = screen->boundsApartFrom(WestonCompositor::kDesktopColour);
                ScreenBox preview{shape->x + kPreview.x * scale, shape->y + kPreview.y * scale,
                                  kPreview.width * scale, kPreview.height * scale};
                return shape->width >= kShapeWidth * scale && screen->coloursIn(preview) > 100;
            },
            20s);
        EXPECT_EQ(problem, "");
        EXPECT_TRUE(shown) << "the window shows its preview at scale " << scale << "\n"
                           << compositor.log();
        lumora->signal(SIGTERM);
        EXPECT_EQ(lumora->wait(15s), 0) << "at scale " << scale;
    }
};
}  // namespace

TEST_F(WaylandScaleTest, AtScaleTwoNothingIsBlurredAndThePreviewFillsItsArea) {
    ScreenPicture one, two;
    ScreenBox shapeOne, shapeTwo;
    ASSERT_NO_FATAL_FAILURE(showWindowAt(1, &one, &shapeOne));
    ASSERT_NO_FATAL_FAILURE(showWindowAt(2, &two, &shapeTwo));
    ASSERT_EQ(shapeOne.width, kShapeWidth);
    ASSERT_EQ(shapeOne.height, kShapeHeight);
    EXPECT_EQ(shapeTwo.width, 2 * kShapeWidth) << "the window is as large, in twice the pixels";
    EXPECT_EQ(shapeTwo.height, 2 * kShapeHeight);
    ASSERT_GE(shapeTwo.width, 2 * kShapeWidth);

    // A skin picture with a sharp twin is that twin, pixel for pixel: the
    // normal state, first of four side by side. The plain picture doubled,
    // smoothly or not, leaves over a thousand of its edge pixels unlike.
    ArtPicture art = readArt(skinFile("video_play/btn_open_camera@2x.png"));
    ASSERT_EQ(art.width, 4 * 2 * kOpenCamera.width);
    ASSERT_EQ(art.height, 2 * kOpenCamera.height);
    EXPECT_LT(fewestUnlike(two, shapeTwo.x + 2 * kOpenCamera.x, shapeTwo.y + 2 * kOpenCamera.y, art,
                           2 * kOpenCamera.width),
              20)
        << "the open-camera button is drawn from its @2x picture";

    // The preview is the graph's 640 x 480 picture over the whole area, each
    // of its pixels two by two: the picture at scale 1 doubled, apart from
    // the button drawn over it. Drawn at its own size it would fill a corner.
    int unlikePreview = 0;
    const ScreenBox button{kOpenCamera.x - kPreview.x, kOpenCamera.y - kPreview.y,
                           kOpenCamera.width, kOpenCamera.height};
    for (int y = 0; y < kPreview.height; y += 8) {
        for (int x = 0; x < kPreview.width; x += 8) {
            if (!inside(button, x, y) && !inside(button, x + 7, y + 7)) {
                ScreenBox block{kPreview.x + x, kPreview.y + y, 8, 8};
                unlikePreview += unlikeDoubled(one, shapeOne, two, shapeTwo, block);
            }
        }
    }
    EXPECT_LT(unlikePreview, 2 * kPreview.width) << "the preview fills its area at scale 2";

    // The capture size's box is its background picture stretched between
    // kept ends: at scale 2 the same plain middle as at scale 1, nothing of
    // the ends pulled into it and smeared.
    EXPECT_LT(unlikeDoubled(one, shapeOne, two, shapeTwo, kSizeBoxMiddle), 20)
        << "the box's middle is the one of scale 1";
}
