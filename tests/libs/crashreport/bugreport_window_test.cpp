#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <fstream>

#include "libs/crashreport/bugreport_window.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_media.h"

namespace {
const auto* const g_gui =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication<QApplication>);
}  // namespace

TEST(BugReportWindowTest, ShowsTheReportAndWhereItIs) {
    ScratchDir folder;
    std::string path = folder.file("crash-1-2.txt");
    std::ofstream(path) << "program: Lumora直播伴侣\nsignal: 11 (Segmentation fault)\n";
    BugReportWindow window(QString::fromStdString(path));
    auto* report = window.findChild<QPlainTextEdit*>();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->toPlainText().contains("signal: 11"));
    EXPECT_TRUE(report->isReadOnly());
    auto* heading = window.findChild<QLabel*>();
    ASSERT_NE(heading, nullptr);
    EXPECT_TRUE(heading->text().contains(QString::fromStdString(path)));
    EXPECT_EQ(window.findChildren<QPushButton*>().size(), 2);

    BugReportWindow missing(QString::fromStdString(folder.file("gone.txt")));
    EXPECT_EQ(missing.findChild<QPlainTextEdit*>()->toPlainText(), "报告无法读取。");
}
