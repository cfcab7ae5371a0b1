#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings_db.h"
#include "effects/background_effect.h"
#include "effects/segmentation_worker.h"
#include "engine/play_graph.h"
#include "tests/support/log_capture.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/background_view.h"
#include "ui/effect_control_view.h"
#include "widgets/button_skin.h"

// The background page with the network the program runs, on a real picture
// of a person: what is chosen reaches the effect in the graph, is saved at
// once and comes back; what cannot be read is said and nothing is lost.
namespace {
constexpr int kWidth = 640, kHeight = 480;

SegmentationModel landscapeModel() {
    return {LUMORA_SELFIE_MODEL_DIR "/selfie_segmentation_landscape.onnx", 256, 144};
}

void forgetBackground() {
    for (const char* key : {"background_mode", "background_strength", "background_replacement",
                            "background_picture"}) {
        SettingsDb::instance()->saveText(key, QString());
    }
}

QString saved(const char* key) { return SettingsDb::instance()->loadText(key); }

bool inGraph(BackgroundEffect* effect) {
    for (VideoEffect* one : PlayGraph::Instance()->Effects()) {
        if (one == effect) {
            return true;
        }
    }
    return false;
}

// The footballer of OpenCV's samples stretched to the frame, BGRx, bottom
// row first, as the graph hands frames to effects.
std::vector<uint8_t> personFrame() {
    QImage image = QImage(LUMORA_SOURCE_DIR "/tests/tools/selfie_model/data/messi5.jpg")
                       .convertToFormat(QImage::Format_RGB32)
                       .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .mirrored(false, true);
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        std::memcpy(frame.data() + static_cast<size_t>(y) * kWidth * 4, image.constScanLine(y),
                    kWidth * 4);
    }
    return frame;
}

// Runs the frame through the effect until a frame was blended with a mask
// (or 60 s pass); that frame, BGRx bottom row first.
std::vector<uint8_t> processUntilMasked(BackgroundEffect* effect) {
    const std::vector<uint8_t> input = personFrame();
    std::vector<uint8_t> output;
    waitFor(
        [&] {
            output = input;
            effect->Process(output.data(), output.size(), kWidth, kHeight);
            return effect->lastMask().cols == kWidth;
        },
        60000);
    return output;
}

// The colour at a point given top row first, as (r, g, b).
QRgb pixelAt(const std::vector<uint8_t>& frame, int x, int y) {
    const uint8_t* p = frame.data() + (static_cast<size_t>(kHeight - 1 - y) * kWidth + x) * 4;
    return qRgb(p[2], p[1], p[0]);
}

// Whether two colours differ by at most `tolerance` in each channel.
bool near(QRgb a, QRgb b, int tolerance = 3) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

bool logged(const LogCapture& log, const std::string& words) {
    for (const std::string& line : log.lines()) {
        if (line.find(words) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct Page {
    QWidget host;
    BackgroundView* view;
    explicit Page(const SegmentationModel& model) : view(new BackgroundView(model, &host)) {
        host.resize(316, 532);
        host.show();
        settle();
    }
};
}  // namespace

TEST(BackgroundViewTest, ChoicesReachTheEffectAreSavedAtOnceAndComeBack) {
    forgetBackground();
    {
        Page page(landscapeModel());
        EXPECT_EQ(page.view->effect(), nullptr) << "no network is loaded while it is off";
        EXPECT_FALSE(page.view->strengthBox()->isEnabled());
        EXPECT_FALSE(page.view->replacementBox()->isEnabled());

        page.view->strengthBox()->setCurrentIndex(2);
        page.view->modeBox()->setCurrentIndex(1);  // 背景虚化
        BackgroundEffect* effect = page.view->effect();
        ASSERT_NE(effect, nullptr);
        EXPECT_TRUE(inGraph(effect));
        EXPECT_EQ(effect->mode(), BackgroundMode::Blur);
        EXPECT_EQ(effect->blurStrength(), BlurStrength::Strong);
        EXPECT_TRUE(page.view->strengthBox()->isEnabled());
        EXPECT_EQ(saved("background_mode"), "blur");
        EXPECT_EQ(saved("background_strength"), "strong");
        EXPECT_TRUE(page.view->message().isEmpty()) << page.view->message().toStdString();

        // 深蓝 behind the person: the frame's corners (the stadium) turn
        // to that blue, the person's chest keeps its colours.
        page.view->modeBox()->setCurrentIndex(2);
        page.view->replacementBox()->setCurrentIndex(2);
        EXPECT_EQ(effect->mode(), BackgroundMode::Colour);
        EXPECT_FALSE(page.view->pictureButton()->isEnabled());
        std::vector<uint8_t> replaced = processUntilMasked(effect);
        const QRgb blue = BackgroundView::plainColours()[1].rgb;
        EXPECT_TRUE(near(pixelAt(replaced, 8, 8), blue));
        EXPECT_TRUE(near(pixelAt(replaced, kWidth - 8, 8), blue));
        const std::vector<uint8_t> original = personFrame();
        EXPECT_TRUE(near(pixelAt(replaced, 293, 264), pixelAt(original, 293, 264))) << "the person";
        EXPECT_EQ(saved("background_replacement"), "2");
    }
    EXPECT_EQ(PlayGraph::Instance()->Effects().size(), 0u) << "the page took its effect out";

    Page again(landscapeModel());
    ASSERT_NE(again.view->effect(), nullptr);
    EXPECT_EQ(again.view->modeBox()->currentIndex(), 2);
    EXPECT_EQ(again.view->replacementBox()->currentIndex(), 2);
    EXPECT_EQ(again.view->strengthBox()->currentIndex(), 2);
    EXPECT_EQ(again.view->effect()->mode(), BackgroundMode::Colour);

    // Off again: the effect stays in the graph and passes frames unchanged.
    again.view->modeBox()->setCurrentIndex(0);
    EXPECT_EQ(again.view->effect()->mode(), BackgroundMode::Off);
    std::vector<uint8_t> frame = personFrame();
    again.view->effect()->Process(frame.data(), frame.size(), kWidth, kHeight);
    EXPECT_TRUE(frame == personFrame());
    EXPECT_EQ(saved("background_mode"), "off");
}

TEST(BackgroundViewTest, APictureThatCannotBeReadIsSaidAndKeptUntilItCanBe) {
    forgetBackground();
    QTemporaryDir folder;
    const QString path = folder.filePath("背景 图片.png");
    {
        QFile broken(path);
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG\r\n\x1a\n and then nothing of a picture");
    }
    {
        Page page(landscapeModel());
        int asked = 0;
        page.view->setPictureChooser([&](QWidget*) {
            ++asked;
            return path;
        });
        page.view->modeBox()->setCurrentIndex(2);
        EXPECT_TRUE(page.view->pictureButton()->isEnabled());
        LogCapture log;
        page.view->pictureButton()->click();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(page.view->message(), "无法读取图片：背景 图片.png");
        EXPECT_TRUE(logged(log, "cannot read the picture"));
        EXPECT_EQ(saved("background_picture"), path) << "the choice is kept";
        // Frames pass unchanged while there is no picture.
        std::vector<uint8_t> frame = personFrame();
        for (int i = 0; i < 20; ++i) {
            page.view->effect()->Process(frame.data(), frame.size(), kWidth, kHeight);
        }
        EXPECT_TRUE(frame == personFrame());
    }
    // The file becomes a picture: a huge one, read scaled down.
    QImage huge(6000, 4000, QImage::Format_RGB32);
    huge.fill(qRgb(200, 40, 160));
    ASSERT_TRUE(huge.save(path, "PNG"));
    Page again(landscapeModel());
    EXPECT_TRUE(again.view->message().isEmpty()) << again.view->message().toStdString();
    EXPECT_EQ(again.view->pictureLabel()->toolTip(), path);
    std::vector<uint8_t> replaced = processUntilMasked(again.view->effect());
    EXPECT_TRUE(near(pixelAt(replaced, 8, 8), qRgb(200, 40, 160)));

    // Switching modes keeps the picture read once: it is not read again.
    ASSERT_TRUE(QFile::remove(path));
    again.view->modeBox()->setCurrentIndex(1);
    again.view->modeBox()->setCurrentIndex(2);
    EXPECT_TRUE(again.view->message().isEmpty()) << again.view->message().toStdString();
    std::vector<uint8_t> frame = personFrame();
    again.view->effect()->Process(frame.data(), frame.size(), kWidth, kHeight);
    EXPECT_TRUE(near(pixelAt(frame, 8, 8), qRgb(200, 40, 160)));
}

TEST(BackgroundViewTest, AMissingNetworkIsSaidAndFramesPassUnchanged) {
    forgetBackground();
    QTemporaryDir folder;
    Page page({folder.filePath("none.onnx").toStdString(), 256, 144});
    page.view->modeBox()->setCurrentIndex(1);
    EXPECT_EQ(page.view->message(), "背景分割模型无法载入，背景效果不可用。");
    ASSERT_NE(page.view->effect(), nullptr);
    std::vector<uint8_t> frame = personFrame();
    for (int i = 0; i < 10; ++i) {
        page.view->effect()->Process(frame.data(), frame.size(), kWidth, kHeight);
    }
    EXPECT_TRUE(frame == personFrame());
    EXPECT_EQ(saved("background_mode"), "blur") << "the choice stays for a working install";
    page.view->modeBox()->setCurrentIndex(0);
    EXPECT_TRUE(page.view->message().isEmpty());
}

TEST(BackgroundViewTest, TheEffectPanelHasAFourthTabForIt) {
    forgetBackground();
    SettingsDb::instance()->saveText("background_mode", "blur");
    EffectControlView panel;
    panel.resize(316, 532);
    panel.show();
    panel.loadFromDb();
    settle();
    ASSERT_NE(panel.backgroundPage(), nullptr) << "built at start so the saved choice returns";
    ASSERT_NE(panel.backgroundPage()->effect(), nullptr);
    EXPECT_EQ(panel.backgroundPage()->effect()->mode(), BackgroundMode::Blur);
    panel.tabButton(3)->click();
    EXPECT_TRUE(panel.tabButton(3)->isSelected());
    EXPECT_FALSE(panel.tabButton(2)->isSelected());
    EXPECT_EQ(panel.currentPage(), panel.backgroundPage());
    for (int id = 0; id < 4; ++id) {
        EXPECT_LE(panel.tabButton(id)->width(), 79) << "four tabs fit the page's width";
    }
    forgetBackground();
}
