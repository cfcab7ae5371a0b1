#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/play_graph.h"
#include "outputs/video_wnd_output.h"
#include "tests/support/eventually.h"
#include "tests/support/frame_log.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
const auto* const g_gui =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication<QApplication>);

// Four quadrants of the picture in four colours (as seen, top row first),
// stored bottom row first.
std::vector<uint8_t> quadrants(int width = 640, int height = 480) {
    std::vector<uint8_t> frame(VideoFrame::Size32(width, height));
    const uint8_t colours[4][3] = {{0, 0, 255}, {0, 128, 0}, {255, 0, 0}, {255, 255, 255}};
    for (int line = 0; line < height; ++line) {
        uint8_t* row =
            VideoFrame::PictureRow(frame.data(), VideoFrame::RowBytes(width, 32), height, line);
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = colours[(line >= height / 2) * 2 + (x >= width / 2)];
            row[x * 4] = c[0];
            row[x * 4 + 1] = c[1];
            row[x * 4 + 2] = c[2];
        }
    }
    return frame;
}

// What the output keeps, painted as a widget of its own would paint it.
QImage keptPicture(VideoWndOutput& output) {
    QImage canvas(640, 480, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    QPainter painter(&canvas);
    EXPECT_TRUE(output.paintKept(painter, QPoint(0, 0)));
    return canvas;
}

std::string colourAt(const QImage& image, int x, int y) {
    QRgb pixel = image.pixel(x, y);
    const uint8_t bgrx[4] = {static_cast<uint8_t>(qBlue(pixel)),
                             static_cast<uint8_t>(qGreen(pixel)), static_cast<uint8_t>(qRed(pixel)),
                             0};
    return nearestColour(bgrx);
}
}  // namespace

TEST(VideoWndOutputTest, ThePictureIsPaintedUprightAndUnscaledAtItsOwnSize) {
    VideoWndView view;
    view.resize(640, 480);
    VideoWndOutput output(&view, false);
    view.setOutput(&output);
    auto frame = quadrants();
    for (int i = 0; i < 5; ++i) {
        output.OnFrame32(frame.data(), frame.size(), 640, 480);
    }
    EXPECT_EQ(output.repaintRequests(), 1u) << "requests wait for the pending repaint";
    QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(640, 480));
    for (int line = 0; line < 480; ++line) {
        const uint8_t* expected =
            VideoFrame::PictureRow(frame.data(), VideoFrame::kRowBytes32, 480, line);
        const uint8_t* got = shown.constScanLine(line);
        for (int x = 0; x < 640; ++x) {
            ASSERT_EQ(std::memcmp(expected + x * 4, got + x * 4, 3), 0) << x << "," << line;
        }
    }
    output.OnFrame32(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(output.repaintRequests(), 2u) << "after a paint, a new frame asks again";
    QImage canvas(640, 480, QImage::Format_RGB32);
    QPainter painter(&canvas);
    EXPECT_FALSE(output.paintKept(painter, QPoint(0, 0))) << "no copy unless asked for";
}

TEST(VideoWndOutputTest, OtherSizesAreStretchedOverTheWholeArea) {
    VideoWndView view;
    VideoWndOutput output(&view, false);
    view.setOutput(&output);
    auto frame = quadrants();
    output.OnFrame32(frame.data(), frame.size(), 640, 480);
    for (QSize size : {QSize(320, 240), QSize(1000, 400)}) {
        view.resize(size);
        QImage shown = view.grab().toImage();
        int w = size.width(), h = size.height();
        EXPECT_EQ(colourAt(shown, w / 4, h / 4), "red") << w;
        EXPECT_EQ(colourAt(shown, 3 * w / 4, h / 4), "green") << w;
        EXPECT_EQ(colourAt(shown, w / 4, 3 * h / 4), "blue") << w;
        EXPECT_EQ(colourAt(shown, 3 * w / 4, 3 * h / 4), "white") << w;
        EXPECT_EQ(colourAt(shown, w - 1, h - 1), "white") << "to the very corner";
    }
}

TEST(VideoWndOutputTest, AHighDefinitionPictureIsShownWholeWithItsProportions) {
    VideoWndView view;
    view.resize(640, 480);
    VideoWndOutput output(&view, true);
    view.setOutput(&output);
    // Every buffer the output turns round first holds a whole white picture,
    // so the bands must be blackened, not found black.
    auto white = makeSolidFrame32(255, 255, 255);
    for (int i = 0; i < 3; ++i) {
        output.OnFrame32(white.data(), white.size(), 640, 480);
        keptPicture(output);
    }
    for (auto [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
        auto frame = quadrants(width, height);
        output.OnFrame32(frame.data(), frame.size(), width, height);
        QImage shown = keptPicture(output);
        // 16:9 in 640 x 480: 640 x 360 in the middle, black bands of 60 lines.
        EXPECT_EQ(colourAt(shown, 320, 20), "black") << width;
        EXPECT_EQ(colourAt(shown, 320, 59), "black") << width;
        EXPECT_EQ(colourAt(shown, 320, 420), "black") << width;
        EXPECT_EQ(colourAt(shown, 320, 470), "black") << width;
        EXPECT_EQ(colourAt(shown, 0, 60), "red") << width;
        EXPECT_EQ(colourAt(shown, 160, 150), "red") << width;
        EXPECT_EQ(colourAt(shown, 480, 150), "green") << width;
        EXPECT_EQ(colourAt(shown, 160, 330), "blue") << width;
        EXPECT_EQ(colourAt(shown, 480, 330), "white") << width;
        EXPECT_EQ(colourAt(shown, 639, 419), "white") << width;
    }
    // A square picture: 480 x 480 in the middle, black bands of 80 columns.
    auto square = quadrants(960, 960);
    output.OnFrame32(square.data(), square.size(), 960, 960);
    QImage shown = keptPicture(output);
    EXPECT_EQ(colourAt(shown, 79, 240), "black");
    EXPECT_EQ(colourAt(shown, 560, 240), "black");
    EXPECT_EQ(colourAt(shown, 80, 0), "red");
    EXPECT_EQ(colourAt(shown, 559, 0), "green");
    EXPECT_EQ(colourAt(shown, 80, 479), "blue");
    EXPECT_EQ(colourAt(shown, 559, 479), "white");
}

TEST(VideoWndOutputTest, TheKeptCopyFollowsFramesEvenWithDrawingOff) {
    VideoWndView view;
    view.resize(640, 480);
    VideoWndOutput output(&view, true);
    view.setOutput(&output);
    output.setDrawEnabled(false);
    auto frame = quadrants();
    output.OnFrame32(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(output.repaintRequests(), 0u) << "drawing off: no repaint";
    QImage copy = keptPicture(output);
    EXPECT_EQ(colourAt(copy, 10, 10), "red") << "top row first";
    EXPECT_EQ(colourAt(copy, 630, 470), "white");

    // Drawing on again: the kept copy follows the newest frame, not the last
    // one that arrived while drawing was off.
    output.setDrawEnabled(true);
    auto green = makeSolidFrame32(0, 255, 0);
    output.OnFrame32(green.data(), green.size(), 640, 480);
    EXPECT_EQ(colourAt(keptPicture(output), 10, 10), "green");
    output.setDrawEnabled(false);
    output.OnFrame32(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(colourAt(keptPicture(output), 10, 10), "red");

    // Without a window the copy is still kept and nothing is drawn.
    VideoWndOutput windowless(nullptr, true);
    windowless.OnFrame32(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(windowless.repaintRequests(), 0u);
    EXPECT_EQ(colourAt(keptPicture(windowless), 630, 10), "green");

    // A window that goes away before its output is no danger.
    auto gone = std::make_unique<VideoWndView>();
    VideoWndOutput orphan(gone.get(), false);
    gone.reset();
    orphan.OnFrame32(frame.data(), frame.size(), 640, 480);
}

TEST(VideoWndOutputTest, FramesFromTheGraphsWorkerReachTheWidget) {
    VideoWndView view;
    view.resize(640, 480);
    VideoWndOutput output(&view, false);
    view.setOutput(&output);
    auto frame = quadrants();
    ManualSource picture;
    picture.PushFrame(frame.data(), frame.size());
    auto graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>(
        PlayGraph::Create(30), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    graph->SetPlaceholderSource(&picture);
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(eventually([&] { return output.repaintRequests() > 0; }));
    QCoreApplication::processEvents();
    QImage shown = view.grab().toImage();
    graph->Stop();
    graph->RemoveOutput(&output);
    EXPECT_EQ(colourAt(shown, 100, 100), "red");
    EXPECT_EQ(colourAt(shown, 500, 400), "white");
}

// The graph's 32-bit pictures leave their fourth byte unused (a picture
// never made, a decoder's padding: 0). Drawn into a translucent window (a
// rounded dialog on Wayland) the area is still opaque: black before a
// picture, then the picture, and nothing of what is behind shows through.
TEST(VideoWndOutputTest, ATranslucentWindowsPictureAreaIsOpaque) {
    QWidget window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.resize(200, 150);
    VideoWndView view(&window);
    view.setGeometry(20, 10, 160, 120);
    VideoWndOutput output(&view, false);
    view.setOutput(&output);
    auto alphaAt = [&](int x, int y) {
        return qAlpha(window.grab().toImage().convertToFormat(QImage::Format_ARGB32).pixel(x, y));
    };
    EXPECT_EQ(alphaAt(100, 70), 255) << "black before a picture";
    EXPECT_EQ(alphaAt(5, 5), 0) << "the window around the view stays see-through";

    std::vector<uint8_t> unmade(VideoFrame::kSize32, 0);
    output.OnFrame32(unmade.data(), unmade.size(), 640, 480);
    QImage shown = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(shown.pixel(100, 70)), 255) << "a picture whose fourth byte is 0";
    EXPECT_EQ(qAlpha(shown.pixel(20, 10)), 255) << "to the view's very corner";
    EXPECT_EQ(shown.pixel(100, 70), qRgb(0, 0, 0));

    auto frame = quadrants();  // fourth bytes 0 too
    output.OnFrame32(frame.data(), frame.size(), 640, 480);
    shown = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown.pixel(60, 40), qRgb(255, 0, 0)) << "the picture itself, opaque";
    EXPECT_EQ(shown.pixel(140, 100), qRgb(255, 255, 255));
    auto wide = quadrants(1280, 720);  // shown whole, black bands above and below
    output.OnFrame32(wide.data(), wide.size(), 1280, 720);
    shown = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown.pixel(100, 12), qRgb(0, 0, 0)) << "a band";
    EXPECT_EQ(shown.pixel(60, 40), qRgb(255, 0, 0));
}

// A paint device whose every picture drawn waits until the test lets it
// go: a paint as slow as the test wants, on a fast machine or a slow one.
class LatchedPaintEngine : public QPaintEngine {
public:
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    Type type() const override { return QPaintEngine::User; }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { hold(); }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
        hold();
    }

    bool waitUntilDrawing() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return drawing_; });
    }
    void letGo() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    void hold() {
        std::unique_lock<std::mutex> lock(mutex_);
        drawing_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }

    std::mutex mutex_;  // guards drawing_ and open_ between the painter and the test
    std::condition_variable changed_;
    bool drawing_ = false;
    bool open_ = false;
};

class LatchedPaintDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable LatchedPaintEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth:
                return 1280;
            case PdmHeight:
                return 960;
            case PdmDepth:
                return 32;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 96;
            default:
                return QPaintDevice::metric(metric);
        }
    }
};

// A slow paint (a huge window, a busy machine) never holds up the graph's
// worker, and with it the outputs after the preview: the output's lock is
// held for buffer swaps only, never while painting. The paint here stands
// still inside its drawing until the graph has gone on for several ticks.
TEST(VideoWndOutputTest, ASlowPaintDoesNotHoldUpTheGraph) {
    VideoWndView view;
    VideoWndOutput output(&view, false);
    RecordingOutput after;
    auto frame = quadrants();
    ManualSource picture;
    picture.PushFrame(frame.data(), frame.size());
    auto graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>(
        PlayGraph::Create(15), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    graph->SetPlaceholderSource(&picture);
    graph->AddOutput(&output);
    graph->AddOutput(&after);
    graph->Start();
    ASSERT_TRUE(after.waitForFrames(2));
    ASSERT_TRUE(eventually([&] { return output.repaintRequests() > 0; }));

    LatchedPaintDevice device;
    std::thread paint([&] {
        QPainter painter(&device);
        output.paintLatest(painter, QRect(0, 0, 1280, 960));
    });
    bool drawing = device.engine.waitUntilDrawing();
    after.clear();
    bool wentOn = drawing && after.waitForFrames(4, std::chrono::seconds(30));
    device.engine.letGo();
    paint.join();
    graph->Stop();
    graph->RemoveOutput(&output);
    graph->RemoveOutput(&after);
    ASSERT_TRUE(drawing) << "the paint never reached its drawing";
    EXPECT_TRUE(wentOn) << "the worker stood still while a paint ran";
}
