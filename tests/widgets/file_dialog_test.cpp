#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTimer>

#include "tests/support/test_media.h"
#include "widgets/custom_file_dialog.h"
#include "widgets/custom_message_box.h"

namespace {
// Answers as a user would and notes where each dialog started.
class ScriptedChooser : public FileChooser {
public:
    QStringList answer;
    QStringList startFolders;

    QStringList openFileNames(QWidget*, const QString&, const QString& folder, const QString&,
                              QFileDialog::Options) override {
        startFolders << folder;
        return answer;
    }
    QString saveFileName(QWidget*, const QString&, const QString& folder, const QString&,
                         QFileDialog::Options) override {
        startFolders << folder;
        return answer.value(0);
    }
};

struct ChooserInPlace {
    ScriptedChooser chooser;
    ChooserInPlace() { CustomFileDialog::setChooser(&chooser); }
    ~ChooserInPlace() { CustomFileDialog::setChooser(nullptr); }
};

// An empty file at `name` under `dir` (folders made as needed); its path.
QString madeFile(const ScratchDir& dir, const QString& name) {
    QString path = QString::fromStdString(dir.file(name.toStdString()));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return path;
}

// Closes the next message box of ours with Ok and keeps its text.
struct MessageWatch {
    QString text;
    int boxes = 0;
    QTimer timer;
    MessageWatch() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<CustomMessageBox*>(top); box && box->isVisible()) {
                    text = box->textLabel()->text();
                    ++boxes;
                    box->done(QMessageBox::Ok);
                }
            }
        });
        timer.start(10);
    }
};
}  // namespace

TEST(FileDialogTest, EachCallerStartsWhereItsLastChoiceWas) {
    ScratchDir dir;
    QString clips = QString::fromStdString(dir.file("media/clips/a b"));
    QString pictures = QString::fromStdString(dir.file("pictures"));
    ChooserInPlace scripted;
    ScriptedChooser& chooser = scripted.chooser;
    QSettings().remove("getOpenFileNames_selvideo");
    QSettings().remove("getOpenFileNames_selpic");
    chooser.answer = {madeFile(dir, "media/clips/a b/one.mp4"), madeFile(dir, "elsewhere/two.mp4")};
    EXPECT_EQ(CustomFileDialog::getOpenFileNames_(nullptr, "选择视频", "*.mp4", "selvideo"),
              chooser.answer);
    chooser.answer = {madeFile(dir, "pictures/x.png")};
    CustomFileDialog::getOpenFileNames_(nullptr, "选择图片", "*.png", "selpic");
    chooser.answer.clear();  // the user cancels: the folder stays
    EXPECT_TRUE(CustomFileDialog::getOpenFileNames_(nullptr, "选择视频", "", "selvideo").isEmpty());
    CustomFileDialog::getOpenFileNames_(nullptr, "选择视频", "", "selvideo");

    EXPECT_EQ(chooser.startFolders, (QStringList{"", "", clips, clips}));
    QSettings settings;
    EXPECT_EQ(settings.value("getOpenFileNames_selvideo").toString(), clips);
    EXPECT_EQ(settings.value("getOpenFileNames_selpic").toString(), pictures);

    chooser.answer = {"/records/saved.flv"};
    CustomFileDialog::getSaveFileName_(nullptr, "视频另存为", "*.flv", "record");
    CustomFileDialog::getSaveFileName_(nullptr, "视频另存为", "*.flv", "record");
    EXPECT_EQ(chooser.startFolders.last(), "/records");
    EXPECT_EQ(settings.value("getSaveFileName_record").toString(), "/records")
        << "each function keeps its own key";
}

TEST(FileDialogTest, NamesThatDoNotExistAreLeftOutWithAMessageNamingThem) {
    ScratchDir dir;
    ChooserInPlace scripted;
    QString real = madeFile(dir, "real.png");
    QString typo = QString::fromStdString(dir.file("reel.png"));
    QString gone = QString::fromStdString(dir.file("gone/old.png"));
    scripted.chooser.answer = {typo, real, gone};
    MessageWatch watch;
    EXPECT_EQ(CustomFileDialog::getOpenFileNames_(nullptr, "选择图片", "*.png", "selpic"),
              QStringList{real});
    EXPECT_EQ(watch.boxes, 1);
    EXPECT_TRUE(watch.text.startsWith("找不到以下文件，未添加：")) << watch.text.toStdString();
    EXPECT_TRUE(watch.text.contains(typo));
    EXPECT_TRUE(watch.text.contains(gone));
    EXPECT_FALSE(watch.text.contains(real));

    watch.boxes = 0;
    scripted.chooser.answer = {real};
    EXPECT_EQ(CustomFileDialog::getOpenFileNames_(nullptr, "选择图片", "*.png", "selpic"),
              QStringList{real});
    EXPECT_EQ(watch.boxes, 0) << "all there: no message";
}
