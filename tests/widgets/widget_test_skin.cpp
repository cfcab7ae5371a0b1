#include "tests/widgets/widget_test_skin.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QWidget>
#include <cstdlib>

#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"
#include "widgets/skin_style.h"

namespace {
std::unique_ptr<ScratchDir> g_folder;

class Gui : public ::testing::Environment {
public:
    void SetUp() override {
        g_folder = std::make_unique<ScratchDir>();
        setenv("XDG_CONFIG_HOME", g_folder->file("config").c_str(), 1);
        app_ = makeOffscreenApplication<QApplication>();
        SkinStyle::instance()->setSkinDirectory(testSkinFolder());
        QDir().mkpath(testSkinFolder() + "/main");
        QDir().mkpath(testSkinFolder() + "/record");
        makeStrip("strip.png", {Qt::red, Qt::green, Qt::blue, Qt::gray}, 50, 30);
        makeStrip("on.png", {Qt::yellow, Qt::yellow, Qt::yellow, Qt::yellow}, 20, 30);
        makeStrip("off.png", {Qt::black, Qt::black, Qt::black, Qt::black}, 20, 30);
        makeStrip("square.png", {Qt::red, Qt::green}, 30, 30);
        makeStrip("main/btn_min.png", {Qt::white, Qt::white, Qt::white, Qt::white}, 16, 16);
        makeStrip("main/btn_close.png", {Qt::red, Qt::red, Qt::red, Qt::red}, 16, 16);
        makeStrip("record/btn_ok.png", {Qt::green, Qt::green, Qt::green, Qt::green}, 60, 24);
        makeStrip("record/btn_cancel.png", {Qt::red, Qt::red, Qt::red, Qt::red}, 60, 24);
        makePicture("bar.png", 100, 6, Qt::darkGray);
        makePicture("progress.png", 100, 6, Qt::cyan);
        makePicture("handle.png", 12, 12, Qt::white);
        makeBorder();
    }
    void TearDown() override {
        app_.reset();
        g_folder.reset();
    }

private:
    static void save(const QImage& image, const QString& name) {
        image.save(testSkinFolder() + "/" + name);
    }

    static void makeStrip(const QString& name, QList<QColor> colours, int sliceWidth, int height) {
        QImage strip(sliceWidth * colours.size(), height, QImage::Format_ARGB32);
        QPainter painter(&strip);
        for (int i = 0; i < colours.size(); ++i) {
            painter.fillRect(i * sliceWidth, 0, sliceWidth, height, colours[i]);
        }
        painter.end();
        save(strip, name);
    }

    static void makePicture(const QString& name, int width, int height, QColor colour) {
        QImage picture(width, height, QImage::Format_ARGB32);
        picture.fill(colour);
        save(picture, name);
    }

    static void makeBorder() {
        QImage border(60, 80, QImage::Format_ARGB32);
        border.fill(Qt::magenta);
        QPainter painter(&border);
        painter.fillRect(12, 0, 36, 46, Qt::blue);
        painter.fillRect(12, 46, 36, 22, Qt::darkGray);
        painter.end();
        save(border, "dialog_border.png");
    }

    std::unique_ptr<QApplication> app_;
};
const auto* const g_gui = ::testing::AddGlobalTestEnvironment(new Gui);
}  // namespace

QString testSkinFolder() { return QString::fromStdString(g_folder->file("skin")); }

QColor shown(QWidget& widget) {
    return widget.grab().toImage().pixelColor(widget.width() / 2, widget.height() / 2);
}
