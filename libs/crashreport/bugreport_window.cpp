#include "libs/crashreport/bugreport_window.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

BugReportWindow::BugReportWindow(const QString& reportPath, QWidget* parent) : QWidget(parent) {
    setWindowTitle(tr("Lumora直播伴侣 出错报告"));
    resize(720, 480);
    QString folder = QFileInfo(reportPath).absolutePath();
    auto* column = new QVBoxLayout(this);
    auto* heading = new QLabel(
        tr("Lumora直播伴侣意外退出了。下面是出错报告，它已保存在：") + "\n" + reportPath, this);
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    heading->setWordWrap(true);
    column->addWidget(heading);
    auto* report = new QPlainTextEdit(this);
    report->setReadOnly(true);
    report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QFile file(reportPath);
    report->setPlainText(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                        : tr("报告无法读取。"));
    column->addWidget(report, 1);
    auto* buttons = new QHBoxLayout;
    auto* open = new QPushButton(tr("打开所在文件夹"), this);
    auto* close = new QPushButton(tr("关闭"), this);
    buttons->addStretch();
    buttons->addWidget(open);
    buttons->addWidget(close);
    column->addLayout(buttons);
    connect(open, &QPushButton::clicked, this,
            [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}
