#include <gtest/gtest.h>

#include <QSettings>

#include "widgets/custom_file_dialog.h"

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
}  // namespace

TEST(FileDialogTest, EachCallerStartsWhereItsLastChoiceWas) {
    ChooserInPlace scripted;
    ScriptedChooser& chooser = scripted.chooser;
    chooser.answer = {"/media/clips/a b/one.mp4", "/elsewhere/two.mp4"};
    EXPECT_EQ(CustomFileDialog::getOpenFileNames_(nullptr, "选择视频", "*.mp4", "selvideo"),
              chooser.answer);
    chooser.answer = {"/pictures/x.png"};
    CustomFileDialog::getOpenFileNames_(nullptr, "选择图片", "*.png", "selpic");
    chooser.answer.clear();  // the user cancels: the folder stays
    EXPECT_TRUE(CustomFileDialog::getOpenFileNames_(nullptr, "选择视频", "", "selvideo").isEmpty());
    CustomFileDialog::getOpenFileNames_(nullptr, "选择视频", "", "selvideo");

    EXPECT_EQ(chooser.startFolders, (QStringList{"", "", "/media/clips/a b", "/media/clips/a b"}));
    QSettings settings;
    EXPECT_EQ(settings.value("getOpenFileNames_selvideo").toString(), "/media/clips/a b");
    EXPECT_EQ(settings.value("getOpenFileNames_selpic").toString(), "/pictures");

    chooser.answer = {"/records/saved.flv"};
    CustomFileDialog::getSaveFileName_(nullptr, "视频另存为", "*.flv", "record");
    CustomFileDialog::getSaveFileName_(nullptr, "视频另存为", "*.flv", "record");
    EXPECT_EQ(chooser.startFolders.last(), "/records");
    EXPECT_EQ(settings.value("getSaveFileName_record").toString(), "/records")
        << "each function keeps its own key";
}
