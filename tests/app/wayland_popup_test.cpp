#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/app/desktop_session.h"
#include "tests/support/eventually.h"
#include "tests/support/weston_compositor.h"

// The program's popups under a real Wayland compositor: Weston shown in the
// private X server, whose pointer xdotool moves. A popup is a window of its
// own there, placed by the compositor relative to the window it belongs to.
namespace {
using namespace std::chrono_literals;

constexpr int kOutputWidth = 1280, kOutputHeight = 800;
constexpr int kShapeWidth = 964;
const ScreenBox kPreview{5, 45, 640, 480};
// The capture size's box on the camera page, in the shape's coordinates.
const ScreenBox kSizeBox{770, 257, 170, 24};
// The output quality's box below them.
const ScreenBox kQualityBox{743, 524, 197, 24};
// The toolkit's tool tips are pale yellow.
constexpr uint32_t kToolTipColour = 0xffffdc;
// The camera page's virtual-camera notice is pale red.
constexpr uint32_t kNoticeColour = 0xffb0b0;
const ScreenBox kParkedPointer{kOutputWidth - 48, kOutputHeight - 48, 48, 48};

void parkPointer() {
    xdotool({"mousemove", std::to_string(kOutputWidth - 1), std::to_string(kOutputHeight - 1)});
}

bool inside(const ScreenBox& box, int x, int y) {
    return x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
}

// The share of what opening a list drew in `region` (pixels that differ
// between `closed` and `opened`), leaving out the rows of `row`, that `now`
// still shows as `opened` did. What the window draws anew there once the
// list is gone (a notice that came meanwhile) is not the
// list, though a pixel of it may match the list's by chance.
double stillShowingList(const ScreenPicture& closed, const ScreenPicture& opened,
                        const ScreenPicture& now, const ScreenBox& region, const ScreenBox& row) {
    int drawn = 0;
    int showing = 0;
    for (int y = region.y; y < region.y + region.height; ++y) {
        if (y >= row.y && y < row.y + row.height) {
            continue;
        }
        for (int x = region.x; x < region.x + region.width; ++x) {
            if (opened.at(x, y) != closed.at(x, y)) {
                ++drawn;
                showing += now.at(x, y) == opened.at(x, y) ? 1 : 0;
            }
        }
    }
    return drawn > 0 ? static_cast<double>(showing) / drawn : 0.0;
}

// The smallest box holding every pixel that differs between the screens,
// the parked pointer's corner left out.
ScreenBox changedBetween(const ScreenPicture& before, const ScreenPicture& after) {
    int left = after.width, top = after.height, right = -1, bottom = -1;
    for (int y = 0; y < after.height; ++y) {
        for (int x = 0; x < after.width; ++x) {
            if (before.at(x, y) != after.at(x, y) && !inside(kParkedPointer, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? ScreenBox{} : ScreenBox{left, top, right - left + 1, bottom - top + 1};
}

// The smallest box holding every pixel of `colour`, and how many there are.
ScreenBox boundsOf(const ScreenPicture& screen, uint32_t colour, int* count) {
    int left = screen.width, top = screen.height, right = -1, bottom = -1;
    *count = 0;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            if (screen.at(x, y) == colour) {
                ++*count;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? ScreenBox{} : ScreenBox{left, top, right - left + 1, bottom - top + 1};
}

class WaylandPopupTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }

    void startCompositor() {
        compositor_ = std::make_unique<WestonCompositor>(WestonCompositor::Output::XWindow,
                                                         kOutputWidth, kOutputHeight);
        std::string problem;
        ASSERT_TRUE(compositor_->start(&problem)) << problem;
        setenv("WAYLAND_DISPLAY", compositor_->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
    }

    // Takes screenshots until one shows what `wanted` looks for, at most
    // 20 s; the last one is kept in the build tree as `name`.png.
    bool screenShows(const std::string& name, const std::function<bool()>& wanted) {
        std::filesystem::create_directories(LUMORA_WAYLAND_SHOTS);
        std::string path = std::string(LUMORA_WAYLAND_SHOTS) + "/" + name + ".png";
        std::string problem;
        bool shown = eventually(
            [&] {
                if (!compositor_->screenshot(path, &screen_, &problem)) {
                    return true;  // no screenshot will come: stop asking
                }
                return wanted();
            },
            20s);
        EXPECT_EQ(problem, "");
        return shown && problem.empty();
    }

    ScreenBox windowShape() const {
        return screen_.boundsApartFrom(WestonCompositor::kDesktopColour, kParkedPointer);
    }

    // The camera page asks lumora-vcam in the background what stands in the
    // virtual camera's way and puts its answer under the quality box, where
    // a list opened there is drawn: what a list changes is told apart from
    // that only once the answer is in. Where nothing stands in the way, no
    // notice comes and the wait ends at its bound with nothing to tell apart.
    void waitForTheCameraNotice(const std::string& name) {
        screenShows(name, [&] {
            int pixels = 0;
            boundsOf(screen_, kNoticeColour, &pixels);
            return pixels > 50;
        });
    }

    // Waits until the window shows with its preview drawn; its shape then.
    bool windowShows(const std::string& name, ScreenBox* shape) {
        return screenShows(name, [&] {
            *shape = windowShape();
            ScreenBox preview{shape->x + kPreview.x, shape->y + kPreview.y, kPreview.width,
                              kPreview.height};
            return shape->width >= kShapeWidth && screen_.coloursIn(preview) > 100;
        });
    }

    std::unique_ptr<WestonCompositor> compositor_;
    ScreenPicture screen_;
};
}  // namespace

TEST_F(WaylandPopupTest, AComboBoxListOpensAtItsBox) {
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startCompositor());
    parkPointer();
    auto lumora = startLumora();
    ScreenBox shape;
    ASSERT_TRUE(windowShows("popup-window", &shape)) << compositor_->log();
    waitForTheCameraNotice("popup-notice");
    ScreenPicture closed = screen_;

    // A click on the box opens its list: drawn next to the box, whatever
    // the list's own window, never at the screen's corner.
    const ScreenBox box{shape.x + kSizeBox.x, shape.y + kSizeBox.y, kSizeBox.width,
                        kSizeBox.height};
    xdotool({"mousemove", std::to_string(box.x + box.width / 3),
             std::to_string(box.y + box.height / 2), "click", "1"});
    parkPointer();
    ScreenBox list;
    bool opened = screenShows("popup-open", [&] {
        list = changedBetween(closed, screen_);
        return list.height > box.height;  // more than the box's own look
    });
    EXPECT_TRUE(opened) << "the list opens";
    EXPECT_LE(std::abs(list.x - box.x), 10) << "the list starts at the box's left";
    EXPECT_GE(list.width, box.width - 20) << "as wide as the box";
    EXPECT_LE(list.width, box.width + 20);
    EXPECT_GE(list.y, box.y - list.height) << "over or below the box";
    EXPECT_LE(list.y, box.y + box.height + 4);
    EXPECT_GT(list.x, 0);
    EXPECT_GT(list.y, 0);

    xdotool({"key", "Escape"});
    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}

TEST_F(WaylandPopupTest, AToolTipOpensAtThePointer) {
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startCompositor());
    parkPointer();
    auto lumora = startLumora();
    ScreenBox shape;
    ASSERT_TRUE(windowShows("tip-window", &shape)) << compositor_->log();
    waitForTheCameraNotice("tip-notice");

    // At high definition the capture size box explains itself in a tool tip:
    // the second entry of the quality's list is 1280 x 720.
    const ScreenBox quality{shape.x + kQualityBox.x, shape.y + kQualityBox.y, kQualityBox.width,
                            kQualityBox.height};
    const ScreenPicture closed = screen_;
    xdotool({"mousemove", std::to_string(quality.x + quality.width / 3),
             std::to_string(quality.y + quality.height / 2), "click", "1"});
    parkPointer();
    ScreenBox list;
    ASSERT_TRUE(screenShows("tip-list-open", [&] {
        list = changedBetween(closed, screen_);
        return list.height > quality.height;
    })) << "the quality list opens";
    const ScreenPicture opened = screen_;
    xdotool({"key", "Down", "Return"});
    // Gone once nothing of it shows where it was, but for the box's own
    // row, which now names the new quality.
    ASSERT_TRUE(screenShows("tip-list-closed", [&] {
        return stillShowingList(closed, opened, screen_, list, quality) < 0.01;
    })) << "the quality list closes";
    // Resting on the box, as a hand comes to rest.
    const int x = shape.x + kSizeBox.x + kSizeBox.width / 3;
    const int y = shape.y + kSizeBox.y + kSizeBox.height / 2;
    xdotool({"mousemove", std::to_string(x - 6), std::to_string(y)});
    xdotool({"mousemove", std::to_string(x), std::to_string(y)});
    ScreenBox tip;
    bool shown = screenShows("tip-open", [&] {
        int pixels = 0;
        tip = boundsOf(screen_, kToolTipColour, &pixels);
        return pixels > 500;
    });
    ASSERT_TRUE(shown) << "the tool tip shows";
    // Just below and right of the pointer, as on X11; not at a corner.
    EXPECT_GE(tip.x, x - 10) << tip.x << "," << tip.y << " for the pointer at " << x << "," << y;
    EXPECT_LE(tip.x, x + 40);
    EXPECT_GE(tip.y, y);
    EXPECT_LE(tip.y, y + 40);

    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}
