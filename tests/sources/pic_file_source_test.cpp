#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QImage>
#include <QImageWriter>

#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "sources/pic_file_source.h"
#include "tests/support/child_process.h"
#include "tests/support/frame_log.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_components.h"
#include "tests/support/test_media.h"

namespace {
using namespace std::chrono_literals;

// The colour at picture position (x, y), y = 0 the top line, of a
// bottom-row-first frame.
std::string colourAt(const std::vector<uint8_t>& frame, int x, int y) {
    return nearestColour(frame.data() + (static_cast<size_t>(479 - y) * 640 + x) * 4);
}

std::vector<uint8_t> frameOf(const VideoSource& source) {
    std::vector<uint8_t> frame(source.FrameSize());
    return source.CopyFrameIfValid(frame.data(), frame.size()) ? frame : std::vector<uint8_t>{};
}

// A picture of one colour with a yellow band along its top tenth.
QString makePicture(const ScratchDir& dir, const std::string& name, QColor colour, int width,
                    int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    for (int y = 0; y < height / 10; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixelColor(x, y, QColor(255, 255, 0));
        }
    }
    QString path = QString::fromStdString(dir.file(name));
    EXPECT_TRUE(picture.save(path));
    return path;
}

// Waits until the source shows a picture whose middle is `colour`.
bool showsWithin(const VideoSource& source, const std::string& colour,
                 std::chrono::milliseconds limit = 3s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        auto frame = frameOf(source);
        if (!frame.empty() && colourAt(frame, 320, 240) == colour) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}
}  // namespace

TEST(PicFileSourceTest, KeepRatioAddsBarsAndStretchFillsTheFrame) {
    ScratchDir dir;
    QString square = makePicture(dir, "square.png", QColor(255, 0, 0), 300, 300);
    PicFileSource slideshow;
    EXPECT_EQ(slideshow.TypeId(), SOURCE_TYPE_PICTURE);
    slideshow.SetShowTime(60000);
    slideshow.AddPicture(square);
    slideshow.SetKeepRatio(true);
    ASSERT_EQ(slideshow.Start(), 0);
    ASSERT_TRUE(showsWithin(slideshow, "red"));
    auto kept = frameOf(slideshow);
    // 300 x 300 fits as 480 x 480 in the middle: black bars of 80 columns.
    EXPECT_EQ(colourAt(kept, 40, 240), "black");
    EXPECT_EQ(colourAt(kept, 600, 240), "black");
    EXPECT_EQ(colourAt(kept, 90, 240), "red");
    EXPECT_EQ(colourAt(kept, 320, 20), "yellow") << "the band on top: bottom row first";
    EXPECT_EQ(colourAt(kept, 320, 470), "red");
    slideshow.Stop();

    slideshow.SetKeepRatio(false);
    slideshow.SetCurrentPicture(square);
    ASSERT_EQ(slideshow.Start(), 0);
    ASSERT_TRUE(eventually([&] {
        auto frame = frameOf(slideshow);
        return !frame.empty() && colourAt(frame, 10, 240) == "red";
    }));
    auto stretched = frameOf(slideshow);
    EXPECT_EQ(colourAt(stretched, 630, 240), "red");
    EXPECT_EQ(colourAt(stretched, 320, 20), "yellow");
    slideshow.Stop();
}

TEST(PicFileSourceTest, ThePicturesOwnOrientationIsHonoured) {
    ScratchDir dir;
    // A wide red picture stored with an EXIF note to turn it a quarter: it
    // shows tall, between wide black bars.
    QImage wide(400, 100, QImage::Format_RGB32);
    wide.fill(QColor(255, 0, 0));
    QString path = QString::fromStdString(dir.file("turned.jpg"));
    QImageWriter writer(path);
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(wide));
    PicFileSource slideshow;
    slideshow.SetShowTime(60000);
    slideshow.AddPicture(path);
    ASSERT_EQ(slideshow.Start(), 0);
    ASSERT_TRUE(showsWithin(slideshow, "red"));
    auto frame = frameOf(slideshow);
    slideshow.Stop();
    // Tall 100 x 400 fitted into 480 lines: 120 columns wide, centred.
    EXPECT_EQ(colourAt(frame, 320, 20), "red");
    EXPECT_EQ(colourAt(frame, 320, 460), "red");
    EXPECT_EQ(colourAt(frame, 200, 240), "black");
    EXPECT_EQ(colourAt(frame, 440, 240), "black");
}

TEST(PicFileSourceTest, ListOrderRandomOrderAndBrokenPictures) {
    ScratchDir dir;
    QString red = makePicture(dir, "1.png", QColor(255, 0, 0), 64, 48);
    QString green = makePicture(dir, "2.png", QColor(0, 128, 0), 64, 48);
    QString blue = makePicture(dir, "3.png", QColor(0, 0, 255), 64, 48);
    std::ofstream(dir.file("broken.png")) << "not a picture";

    FrameLog log;
    {
        LogCapture messages;
        PicFileSource slideshow;
        slideshow.SetShowTime(150);
        slideshow.SetPlaySequence(2);
        EXPECT_EQ(slideshow.PlaySequence(), 2) << "kept as given, sent as 1";
        for (const QString& path :
             {red, QString::fromStdString(dir.file("broken.png")), green, blue}) {
            slideshow.AddPicture(path);
        }
        ASSERT_EQ(slideshow.Start(), 0);
        // The frames reach the source; watch them there.
        std::vector<std::string> seen;
        auto deadline = std::chrono::steady_clock::now() + 3s;
        while (seen.size() < 6 && std::chrono::steady_clock::now() < deadline) {
            auto frame = frameOf(slideshow);
            std::string colour = frame.empty() ? "" : colourAt(frame, 32, 240);
            if (!colour.empty() && (seen.empty() || seen.back() != colour)) {
                seen.push_back(colour);
            }
            std::this_thread::sleep_for(10ms);
        }
        slideshow.Stop();
        EXPECT_EQ(seen, (std::vector<std::string>{"red", "green", "blue", "red", "green", "blue"}))
            << "in list order, the broken one passed over";
        EXPECT_FALSE(messages.lines().empty());
    }
    {
        PicFileSource slideshow;
        slideshow.SetShowTime(80);
        slideshow.SetPlaySequence(0);
        for (const QString& path : {red, green, blue}) {
            slideshow.AddPicture(path);
        }
        ASSERT_EQ(slideshow.Start(), 0);
        std::set<std::string> seen;
        auto deadline = std::chrono::steady_clock::now() + 3s;
        while (seen.size() < 3 && std::chrono::steady_clock::now() < deadline) {
            auto frame = frameOf(slideshow);
            if (!frame.empty()) {
                seen.insert(colourAt(frame, 320, 240));
            }
            std::this_thread::sleep_for(5ms);
        }
        slideshow.Stop();
        EXPECT_EQ(seen, (std::set<std::string>{"red", "green", "blue"})) << "random shows all";
    }
}

TEST(PicFileSourceTest, AHugePictureIsShownWithoutHoldingItWhole) {
    ScratchDir dir;
    std::string huge = dir.file("huge.jpg");
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=blue:s=10000x10000 "
                           "-frames:v 1 -q:v 10 '" +
                           huge + "'")
                              .c_str()),
              0);
    ChildProcess viewer;
    ASSERT_TRUE(viewer.fork([&](int out) -> int {
        PicFileSource slideshow;
        slideshow.SetShowTime(60000);
        slideshow.AddPicture(QString::fromStdString(huge));
        slideshow.Start();
        bool shown = showsWithin(slideshow, "blue", 10s);
        slideshow.Stop();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        writeAll(out, std::string(shown ? "shown " : "not-shown ") +
                          std::to_string(usage.ru_maxrss / 1024) + "\n");
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(viewer.readLine(&line, 20s));
    EXPECT_EQ(line.substr(0, 6), "shown ");
    int peakMegabytes = std::atoi(line.c_str() + line.find(' ') + 1);
    EXPECT_LT(peakMegabytes, 200) << "peak resident memory of the viewing process";
    EXPECT_EQ(viewer.wait(), 0);
}
