#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/eventually.h"
#include "tests/support/weston_compositor.h"

// The real program, started as a person starts it, on a real Wayland
// compositor through Qt's wayland platform: Weston headless, or Weston shown
// in the private X server, whose pointer xdotool moves, for the tests that
// click and drag.
namespace {
using namespace std::chrono_literals;

constexpr int kOutputWidth = 1280, kOutputHeight = 800;
// The window is 982 x 648; its rounded shape leaves 8 pixels of it on the
// left, top and bottom and 10 on the right.
constexpr int kShapeLeft = 8, kShapeTop = 8, kShapeWidth = 964, kShapeHeight = 632;
// Window coordinates of the fixed layout.
constexpr int kVideoTabX = 789, kTabY = 78;
constexpr int kTitleX = 300, kTitleY = 24;
constexpr int kRecordTabX = 891, kRecordButtonX = 728, kRecordButtonY = 135;
// A point in a dialog's title area, from the dialog's top left corner.
constexpr int kDialogTitleX = 80, kDialogTitleY = 20;
// The recording dialog's 400 x 300 video, centred under its 8-pixel border
// and 40-pixel title: the part of it kept 10 pixels clear of its edges, from
// the dialog's top left corner and centre line.
constexpr int kDialogVideoTop = 8 + 40 + 10, kDialogVideoWidth = 380, kDialogVideoHeight = 280;
// The preview's area, the page under the tabs and the row of the tabs' names,
// in the shape's coordinates.
const ScreenBox kPreview{5, 45, 640, 480};
const ScreenBox kPage{762, 212, 190, 400};
const ScreenBox kTabNames{650, 72, 310, 24};
const ScreenBox kRecordButton{650, 100, 300, 70};
// How much desktop the pictures for people keep around the window's shape,
// so that its round corners show.
constexpr int kDesktopMargin = 16;
// The pointer is parked in the output's bottom right corner, where only a
// corner of its picture is drawn.
const ScreenBox kParkedPointer{kOutputWidth - 48, kOutputHeight - 48, 48, 48};

ScreenBox within(const ScreenBox& shape, const ScreenBox& part) {
    return {shape.x + part.x, shape.y + part.y, part.width, part.height};
}

int differingPixels(const ScreenPicture& a, const ScreenPicture& b, const ScreenBox& box) {
    int differing = 0;
    for (int y = box.y; y < box.y + box.height; ++y) {
        for (int x = box.x; x < box.x + box.width; ++x) {
            differing += a.at(x, y) != b.at(x, y) ? 1 : 0;
        }
    }
    return differing;
}

// The smallest box holding every pixel that differs between a and b.
ScreenBox differingBox(const ScreenPicture& a, const ScreenPicture& b) {
    int left = a.width, top = a.height, right = -1, bottom = -1;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? ScreenBox{} : ScreenBox{left, top, right - left + 1, bottom - top + 1};
}

// How many pixels of `box` on `before` show again on `after` moved by
// (dx, dy).
int pixelsMovedBy(const ScreenPicture& before, const ScreenPicture& after, const ScreenBox& box,
                  int dx, int dy) {
    int same = 0;
    for (int y = box.y; y < box.y + box.height; ++y) {
        for (int x = box.x; x < box.x + box.width; ++x) {
            same += before.at(x, y) == after.at(x + dx, y + dy) ? 1 : 0;
        }
    }
    return same;
}

// The part of the recording dialog's video kept clear of its edges, for the
// dialog found at `dialog` and moved by (dx, dy).
ScreenBox dialogVideo(const ScreenBox& dialog, int dx, int dy) {
    return {dialog.x + dx + dialog.width / 2 - kDialogVideoWidth / 2,
            dialog.y + dy + kDialogVideoTop, kDialogVideoWidth, kDialogVideoHeight};
}

// The video, not played yet, is one plain dark colour on `screen`: nothing of
// the window behind the translucent dialog (on `behind`, taken before the
// dialog came) shows through it, neither its picture nor its text.
void expectPlainDarkVideo(const ScreenPicture& screen, const ScreenPicture& behind,
                          const ScreenBox& video, const std::string& when) {
    const int pixels = video.width * video.height;
    const int asBehind = pixels - differingPixels(behind, screen, video);
    EXPECT_EQ(screen.coloursIn(video), 1) << when << ": the video at " << video.x << "," << video.y;
    EXPECT_LT(asBehind, pixels / 100) << when << ": " << asBehind << " of " << pixels
                                      << " pixels of the video are the window's behind the dialog";
    const uint32_t colour = screen.at(video.x + video.width / 2, video.y + video.height / 2);
    EXPECT_LT(std::max({colour >> 16, (colour >> 8) & 0xffu, colour & 0xffu}), 0x20u)
        << when << ": not dark, " << std::hex << colour;
}

void parkPointer() {
    xdotool({"mousemove", std::to_string(kOutputWidth - 1), std::to_string(kOutputHeight - 1)});
}

// Presses the left button at (x, y) and drags by (dx, dy), a step at a time
// as a hand moves.
void dragBy(int x, int y, int dx, int dy) {
    xdotool({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1"});
    for (int step = 1; step <= 10; ++step) {
        xdotool(
            {"mousemove", std::to_string(x + dx * step / 10), std::to_string(y + dy * step / 10)});
        usleep(30 * 1000);  // pacing only
    }
    xdotool({"mouseup", "1"});
    parkPointer();
}

void clickOnScreen(int x, int y) {
    xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
    parkPointer();
}

// Cuts `box` out of the screenshot at `from` into `to`, through ffmpeg as the
// screenshots are read.
bool cropPicture(const std::string& from, const ScreenBox& box, const std::string& to) {
    ChildProcess ffmpeg;
    std::string crop = "crop=" + std::to_string(box.width) + ":" + std::to_string(box.height) +
                       ":" + std::to_string(box.x) + ":" + std::to_string(box.y);
    return ffmpeg.spawn("/usr/bin/ffmpeg",
                        {"-loglevel", "error", "-y", "-i", from, "-vf", crop, to}) &&
           ffmpeg.wait(20s) == 0;
}

class WaylandProgramTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }

    // Starts the compositor and points the program's platform at it.
    void startCompositor(WestonCompositor::Output output) {
        compositor_ = std::make_unique<WestonCompositor>(output, kOutputWidth, kOutputHeight);
        std::string problem;
        ASSERT_TRUE(compositor_->start(&problem)) << problem;
        setenv("WAYLAND_DISPLAY", compositor_->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
    }

    // Takes screenshots until one shows what `wanted` looks for, at most
    // 20 s; the last one is kept in the build tree as `name`.png.
    bool screenShows(const std::string& name,
                     const std::function<bool(const ScreenPicture&)>& wanted) {
        std::filesystem::create_directories(LUMORA_WAYLAND_SHOTS);
        std::string path = std::string(LUMORA_WAYLAND_SHOTS) + "/" + name + ".png";
        std::string problem;
        bool shown = eventually(
            [&] {
                if (!compositor_->screenshot(path, &screen_, &problem)) {
                    return true;  // no screenshot will come: stop asking
                }
                return wanted(screen_);
            },
            20s);
        EXPECT_EQ(problem, "");
        return shown && problem.empty();
    }

    // The box of the window's shape on the last screenshot.
    ScreenBox windowShape() const {
        return screen_.boundsApartFrom(WestonCompositor::kDesktopColour, kParkedPointer);
    }

    // Waits until the window shows with its preview drawn.
    ScreenBox shownWindow(const std::string& name) {
        bool shown = screenShows(name, [&](const ScreenPicture& screen) {
            ScreenBox shape = windowShape();
            return shape.width >= kShapeWidth && screen.coloursIn(within(shape, kPreview)) > 100;
        });
        EXPECT_TRUE(shown) << "the window shows its preview\n" << compositor_->log();
        return windowShape();
    }

    std::unique_ptr<WestonCompositor> compositor_;
    ScreenPicture screen_;
};
}  // namespace

TEST_F(WaylandProgramTest, ItDrawsRoundAndASecondStartHandsOverAndLeaves) {
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startCompositor(WestonCompositor::Output::Headless));
    auto first = startLumora();
    ScreenBox shape = shownWindow("headless-window");
    ASSERT_GT(shape.width, 0);
    // Outside the rounded shape the desktop shows, as on X11: no dark frame
    // around it, and its corners are round.
    EXPECT_EQ(shape.width, kShapeWidth);
    EXPECT_EQ(shape.height, kShapeHeight);
    EXPECT_EQ(screen_.at(shape.x, shape.y), WestonCompositor::kDesktopColour);
    EXPECT_EQ(screen_.at(shape.x + shape.width - 1, shape.y + shape.height - 1),
              WestonCompositor::kDesktopColour);
    EXPECT_NE(screen_.at(shape.x + shape.width / 2, shape.y), WestonCompositor::kDesktopColour)
        << "the top edge between the corners is the window's";

    auto second = startLumora();
    EXPECT_EQ(second->wait(6s), 0) << "the second start exits 0";
    EXPECT_TRUE(readsLine(*first, "app message: activate window", 10s));
    // A start by a launcher that gave it an activation token passes the
    // token on. (Weston has no xdg-activation: the window asks for
    // attention as without one.)
    setenv("XDG_ACTIVATION_TOKEN", "launcher-token_TIME42", 1);
    auto third = startLumora();
    unsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_EQ(third->wait(6s), 0) << "the third start exits 0";
    EXPECT_TRUE(readsLine(*first, "app message: activate window with an activation token", 10s));

    first->signal(SIGTERM);  // as the session ends it, or the tray's 退出
    EXPECT_EQ(first->wait(15s), 0);
}

TEST_F(WaylandProgramTest, ItsTabsSwitchAndItsTitleBarMovesItUnderThePointer) {
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startCompositor(WestonCompositor::Output::XWindow));
    parkPointer();
    auto lumora = startLumora();
    ScreenBox shape = shownWindow("x-window");
    ASSERT_GE(shape.width, kShapeWidth);
    const int windowX = shape.x - kShapeLeft, windowY = shape.y - kShapeTop;

    ScreenPicture cameraPage = screen_;
    xdotool({"mousemove", std::to_string(windowX + kVideoTabX), std::to_string(windowY + kTabY),
             "click", "1"});
    parkPointer();
    EXPECT_TRUE(screenShows("video-tab", [&](const ScreenPicture& screen) {
        return differingPixels(cameraPage, screen, within(shape, kPage)) > 1000;
    })) << "the video page replaces the camera page";

    // Pressed in the title area and dragged; the compositor moves the
    // window by as much as the pointer went.
    const int dx = shape.x > 100 ? -80 : 80, dy = shape.y > 80 ? -60 : 60;
    dragBy(windowX + kTitleX, windowY + kTitleY, dx, dy);
    bool moved = screenShows("dragged", [&](const ScreenPicture&) {
        ScreenBox now = windowShape();
        return std::abs(now.x - (shape.x + dx)) <= 1 && std::abs(now.y - (shape.y + dy)) <= 1;
    });
    ScreenBox now = windowShape();
    EXPECT_TRUE(moved) << "from " << shape.x << "," << shape.y << " by " << dx << "," << dy
                       << " to " << now.x << "," << now.y;
    EXPECT_EQ(now.width, kShapeWidth);

    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}

// The dialog that a finished recording opens, dragged by its title area.
TEST_F(WaylandProgramTest, ADialogsTitleBarMovesItUnderThePointer) {
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startCompositor(WestonCompositor::Output::XWindow));
    parkPointer();
    auto lumora = startLumora();
    ScreenBox shape = shownWindow("dialog-window");
    ASSERT_GE(shape.width, kShapeWidth);
    const int windowX = shape.x - kShapeLeft, windowY = shape.y - kShapeTop;

    ScreenPicture cameraPage = screen_;
    clickOnScreen(windowX + kRecordTabX, windowY + kTabY);
    ASSERT_TRUE(screenShows("record-tab", [&](const ScreenPicture& screen) {
        return differingPixels(cameraPage, screen, within(shape, kPage)) > 1000;
    })) << "the record page replaces the camera page";
    const ScreenPicture idle = screen_;
    clickOnScreen(windowX + kRecordButtonX, windowY + kRecordButtonY);  // 开始录制
    ASSERT_TRUE(screenShows("recording", [&](const ScreenPicture& screen) {
        return differingPixels(idle, screen, within(shape, kRecordButton)) > 100;
    })) << "the record button turns into the stop button";
    clickOnScreen(windowX + kRecordButtonX, windowY + kRecordButtonY);  // 停止录制
    // The page is idle again, as before the recording: what differs from
    // then is the dialog. Its video is black until played.
    ScreenBox dialog;
    ASSERT_TRUE(screenShows("dialog", [&](const ScreenPicture& screen) {
        dialog = differingBox(idle, screen);
        return dialog.width > 400 && dialog.height > 300;
    })) << "the recording's dialog shows";
    const ScreenPicture shown = screen_;

    expectPlainDarkVideo(shown, idle, dialogVideo(dialog, 0, 0), "as the dialog opens");

    const int dx = dialog.x > 100 ? -90 : 90, dy = dialog.y > 70 ? -50 : 50;
    dragBy(dialog.x + kDialogTitleX, dialog.y + kDialogTitleY, dx, dy);
    // The dialog's title strip, its corners apart, shows again moved by as
    // much as the pointer went.
    const ScreenBox title{dialog.x + 8, dialog.y + 2, dialog.width - 16, 36};
    const int strip = title.width * title.height;
    int bestDx = 0, bestDy = 0, bestSame = 0;
    bool moved = screenShows("dialog-dragged", [&](const ScreenPicture& screen) {
        bestSame = 0;
        for (int ny = dy - 1; ny <= dy + 1; ++ny) {
            for (int nx = dx - 1; nx <= dx + 1; ++nx) {
                int same = pixelsMovedBy(shown, screen, title, nx, ny);
                if (same > bestSame) {
                    bestSame = same, bestDx = nx, bestDy = ny;
                }
            }
        }
        return bestSame >= strip * 98 / 100;
    });
    EXPECT_TRUE(moved) << "the dialog at " << dialog.x << "," << dialog.y << " (" << dialog.width
                       << " x " << dialog.height << ") dragged by " << dx << "," << dy
                       << ": at best " << bestSame << " of " << strip
                       << " pixels of its title moved by " << bestDx << "," << bestDy;
    // After the drag its player has sent pictures (all black, their unused
    // fourth byte 0) for a while, not only the black of a view still empty.
    expectPlainDarkVideo(screen_, idle, dialogVideo(dialog, bestDx, bestDy), "dragged");

    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}

// With LUMORA_DOCS_SHOTS naming a folder, the window in each language is kept
// there as wayland-<language>.png, for the README.
TEST_F(WaylandProgramTest, ItSpeaksEitherLanguageOnWayland) {
    const char* docs = std::getenv("LUMORA_DOCS_SHOTS");
    std::vector<ScreenPicture> screens;
    std::vector<ScreenBox> shapes;
    for (const std::string language : {"zh", "en"}) {
        DesktopHome home;
        setenv("LUMORA_LANG", language.c_str(), 1);
        ASSERT_NO_FATAL_FAILURE(startCompositor(WestonCompositor::Output::Headless));
        auto lumora = startLumora();
        ScreenBox shape = shownWindow("window-" + language);
        ASSERT_EQ(shape.width, kShapeWidth) << language;
        screens.push_back(screen_);
        shapes.push_back(shape);
        if (docs != nullptr) {
            ScreenBox framed{shape.x - kDesktopMargin, shape.y - kDesktopMargin,
                             shape.width + 2 * kDesktopMargin, shape.height + 2 * kDesktopMargin};
            std::string shot = std::string(LUMORA_WAYLAND_SHOTS) + "/window-" + language + ".png";
            EXPECT_TRUE(
                cropPicture(shot, framed, std::string(docs) + "/wayland-" + language + ".png"));
        }
        lumora->signal(SIGTERM);
        EXPECT_EQ(lumora->wait(15s), 0) << language;
    }
    // The same layout, with the tabs named in the other language.
    int renamed = 0;
    for (int y = 0; y < kTabNames.height; ++y) {
        for (int x = 0; x < kTabNames.width; ++x) {
            int zhX = shapes[0].x + kTabNames.x + x, zhY = shapes[0].y + kTabNames.y + y;
            int enX = shapes[1].x + kTabNames.x + x, enY = shapes[1].y + kTabNames.y + y;
            renamed += screens[0].at(zhX, zhY) != screens[1].at(enX, enY) ? 1 : 0;
        }
    }
    EXPECT_GT(renamed, 300) << "the tabs' names change with the language";
}
