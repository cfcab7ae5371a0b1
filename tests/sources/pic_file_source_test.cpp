#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "libs/slideshow/pic_engine.h"
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

// A large JPEG photo of one colour, made by ffmpeg; its path, or empty when
// ffmpeg failed.
std::string makeLargePhoto(const ScratchDir& dir, const std::string& name,
                           const std::string& colour, const std::string& size) {
    std::string path = dir.file(name);
    std::string command = "ffmpeg -v error -y -f lavfi -i color=c=" + colour + ":s=" + size +
                          " -frames:v 1 -q:v 10 '" + path + "'";
    return std::system(command.c_str()) == 0 ? path : std::string();
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
    std::string huge = makeLargePhoto(dir, "huge.jpg", "blue", "10000x10000");
    ASSERT_FALSE(huge.empty());
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

// A phone's 48-megapixel photo is more than the picture reader holds at
// once; it is decoded at the size the frame needs.
TEST(PicFileSourceTest, AFortyEightMegapixelPhotoShows) {
    ScratchDir dir;
    std::string photo = makeLargePhoto(dir, "photo.jpg", "green", "8000x6000");
    ASSERT_FALSE(photo.empty());
    PicFileSource slideshow;
    slideshow.SetShowTime(60000);
    slideshow.AddPicture(QString::fromStdString(photo));
    ASSERT_EQ(slideshow.Start(), 0);
    EXPECT_TRUE(showsWithin(slideshow, "green", 10s));
    slideshow.Stop();
}

// Changing the source stops the slideshow on the user-interface thread: a
// picture still being read (a slow network folder, here a pipe that gives its
// bytes only when the test lets it) must not hold it up, and that picture
// must not arrive after the stop.
TEST(PicFileSourceTest, StoppingDoesNotWaitForAPictureBeingRead) {
    ScratchDir dir;
    QString red = makePicture(dir, "red.png", QColor(255, 0, 0), 64, 48);
    QString blue = makePicture(dir, "blue.png", QColor(0, 0, 255), 64, 48);
    std::string slow = dir.file("slow.png");
    ASSERT_EQ(mkfifo(slow.c_str(), 0600), 0);
    FrameLog log;
    PicEngine engine;
    engine.Init(640, 480, &log);
    engine.SetShowTime(1);  // straight from the red picture to the slow one
    engine.SetPlaySeq(1);
    engine.AddFile(red.toStdWString().c_str());
    engine.AddFile(QString::fromStdString(slow).toStdWString().c_str());
    ASSERT_EQ(engine.Start(), 0);
    // The pipe opens for writing only once the slideshow is reading it.
    int writer = -1;
    ASSERT_TRUE(eventually([&] {
        writer = ::open(slow.c_str(), O_WRONLY | O_NONBLOCK);
        return writer >= 0;
    }));
    std::atomic<bool> stopped{false};
    bool stopCameFirst = false;
    std::thread feeder([&] {
        // Gives the picture's bytes once Stop has returned, or after a bound
        // when it does not return before: a Stop that waits for the picture
        // being read returns only after this bound ran out.
        stopCameFirst = eventually([&] { return stopped.load(); }, 10s);
        fcntl(writer, F_SETFL, 0);
        writeAll(writer, contentsOf(blue.toStdString()));
        ::close(writer);
    });
    auto asked = std::chrono::steady_clock::now();
    engine.Stop();
    auto stopTook = std::chrono::steady_clock::now() - asked;
    stopped = true;
    size_t atStop = log.frames();

    // A new start shows at once what is chosen, beside the read still going.
    engine.SetCurPlay(red.toStdWString().c_str());
    engine.SetShowTime(60000);
    ASSERT_EQ(engine.Start(), 0);
    EXPECT_TRUE(log.waitFor([&](const FrameLog& l) { return l.frames() > atStop; }, 5s));
    feeder.join();
    engine.Stop();
    size_t afterSecondStop = log.frames();
    engine.UnInit();  // waits for every slideshow thread
    EXPECT_EQ(log.frames(), afterSecondStop) << "nothing arrives after a stop";
    for (const auto& entry : log.entries()) {
        EXPECT_EQ(entry.body, "red") << "the picture being read was not shown after the stop";
    }
    EXPECT_TRUE(stopCameFirst)
        << "Stop waited for the picture being read: it took "
        << std::chrono::duration_cast<std::chrono::milliseconds>(stopTook).count() << " ms";
}

// An animated GIF in the slideshow plays its frames, from the start again,
// for the show time; then the next picture follows.
TEST(PicFileSourceTest, AnAnimatedGifPlaysForItsShowTime) {
    ScratchDir dir;
    std::string gif = dir.file("colours.gif");
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=red:s=64x48:r=5:d=0.4 "
                           "-f lavfi -i color=c=green:s=64x48:r=5:d=0.4 "
                           "-f lavfi -i color=c=blue:s=64x48:r=5:d=0.4 "
                           "-filter_complex '[0][1][2]concat=n=3' -loop 0 '" +
                           gif + "'")
                              .c_str()),
              0);
    QString white = makePicture(dir, "white.png", QColor(255, 255, 255), 64, 48);
    FrameLog log;
    PicEngine engine;
    engine.Init(640, 480, &log);
    engine.SetShowTime(2500);  // the animation lasts 1.2 s
    engine.SetPlaySeq(1);
    engine.AddFile(QString::fromStdString(gif).toStdWString().c_str());
    engine.AddFile(white.toStdWString().c_str());
    engine.SetCurPlay(QString::fromStdString(gif).toStdWString().c_str());
    ASSERT_EQ(engine.Start(), 0);
    EXPECT_TRUE(log.waitFor(
        [](const FrameLog& l) {
            auto story = l.story();
            return std::find(story.begin(), story.end(), "white") != story.end();
        },
        10s));
    engine.Stop();
    auto story = log.story();
    ASSERT_GE(story.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(story.begin(), story.begin() + 4),
              (std::vector<std::string>{"red", "green", "blue", "red"}))
        << "its frames in order, then again from the first";
    EXPECT_EQ(story.back(), "white") << "the next picture after the show time";
}
