// A slideshow restarted at another frame size while its previous show is still
// decoding or composing a picture (the output mode changing); the sanitizer
// tree runs this too, where a write past a show's frame is reported at once.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "base/simply_callback.h"
#include "libs/slideshow/pic_engine.h"
#include "tests/support/eventually.h"
#include "tests/support/test_media.h"

namespace {
using namespace std::chrono_literals;

// Notes the size of every frame handed over.
class FrameSizes : public ISimplyCallBack {
public:
    void OnSimplyCallBack(int msg, unsigned char*, long size) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (msg == MSG_FRAME) {
            sizes_.push_back(size);
        }
    }
    std::vector<long> sizes() const {
        std::lock_guard<std::mutex> guard(lock_);
        return sizes_;
    }
    size_t count(long size) const {
        std::lock_guard<std::mutex> guard(lock_);
        return static_cast<size_t>(std::count(sizes_.begin(), sizes_.end(), size));
    }

private:
    mutable std::mutex lock_;  // guards sizes_
    std::vector<long> sizes_;
};

// A large photo-like picture (a gradient with fine stripes), so that its
// decoding takes most of a show's time.
std::string saveLargePicture(const ScratchDir& dir) {
    QImage picture(3000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            line[x] = qRgb(x % 256, y % 256, (x * y) % 7 * 36);
        }
    }
    std::string path = dir.file("large.png");
    EXPECT_TRUE(picture.save(QString::fromStdString(path)));
    return path;
}

constexpr long kSmallFrame = 640L * 480 * 4;
constexpr long kLargeFrame = 1920L * 1080 * 4;
constexpr int kRounds = 8;
}  // namespace

// Each round starts a show at 640 x 480 that decodes the large picture over
// and over, and once it has shown it, stops it, makes the engine 1920 x 1080
// and starts again while the first show is most likely decoding. That show
// must go on filling its own 640 x 480 frame; the new one hands over frames
// of the new size.
TEST(PicEngineRestartTest, AShowStoppedWhileDecodingKeepsTheSizeItStartedWith) {
    ScratchDir dir;
    std::wstring large = QString::fromStdString(saveLargePicture(dir)).toStdWString();
    FrameSizes frames;
    PicEngine engine;
    engine.SetShowTime(1);  // decode again at once: the show is nearly always decoding
    engine.AddFile(large.c_str());
    for (int round = 0; round < kRounds; ++round) {
        size_t small = frames.count(kSmallFrame);
        size_t big = frames.count(kLargeFrame);
        engine.Init(640, 480, &frames);
        ASSERT_EQ(engine.Start(), 0);
        ASSERT_TRUE(eventually([&] { return frames.count(kSmallFrame) > small; }, 30s));
        engine.Stop();
        engine.Init(1920, 1080, &frames);
        ASSERT_EQ(engine.Start(), 0);
        ASSERT_TRUE(eventually([&] { return frames.count(kLargeFrame) > big; }, 30s));
        engine.Stop();
    }
    engine.UnInit();  // waits for every show

    for (long size : frames.sizes()) {
        EXPECT_TRUE(size == kSmallFrame || size == kLargeFrame) << size;
    }
}
