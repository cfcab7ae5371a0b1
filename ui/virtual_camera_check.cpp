#include "ui/virtual_camera_check.h"

#include <QCoreApplication>

#include <QProcess>
#include <QTimer>

#include "app/helper_process.h"

namespace {
// A check that has not answered by then has nothing useful to say.
constexpr int kPatienceMs = 5000;
}  // namespace

QString joinFindings(const QString& output) {
    return output.split('\n', Qt::SkipEmptyParts)
        .join(QCoreApplication::translate("VirtualCameraCheck", "；"));
}

VirtualCameraCheck::VirtualCameraCheck(QObject* parent, QString program)
    : QObject(parent),
      program_(program.isEmpty() ? QString::fromStdString(executableDirectory()) + "/lumora-vcam"
                                 : std::move(program)),
      process_(new QProcess(this)) {
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    connect(process_, &QProcess::finished, this, &VirtualCameraCheck::onFinished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            emit sig_checked(tr("找不到 lumora-vcam"));
        }
    });
}

bool VirtualCameraCheck::running() const { return process_->state() != QProcess::NotRunning; }

void VirtualCameraCheck::check() {
    if (running()) {
        return;
    }
    process_->start(program_, {QStringLiteral("--check")});
    QTimer::singleShot(kPatienceMs, process_, [process = process_] {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
        }
    });
}

void VirtualCameraCheck::onFinished() {
    QString output = QString::fromUtf8(process_->readAllStandardOutput());
    bool blocked = process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 1;
    emit sig_checked(blocked ? joinFindings(output) : QString());
}
