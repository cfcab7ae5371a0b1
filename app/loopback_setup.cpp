#include "app/loopback_setup.h"

#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>

#include "app/helper_process.h"

namespace {
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecRefused = 127;

LoopbackSetup::Outcome refusalOf(const QString& errors) {
    if (errors.contains("Not authorized")) {
        return LoopbackSetup::Outcome::NotAuthorized;
    }
    if (errors.contains("dismissed")) {
        return LoopbackSetup::Outcome::Dismissed;
    }
    // "No authentication agent found", or, with no terminal to ask on
    // either, "Error creating textual authentication agent".
    if (errors.contains("authentication agent")) {
        return LoopbackSetup::Outcome::NoAgent;
    }
    return LoopbackSetup::Outcome::CannotAuthenticate;
}

// The last line the helper (or modprobe, or pkexec) wrote: the reason.
QString lastLine(const QString& output) {
    QStringList lines = output.split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}
}  // namespace

LoopbackSetup::Outcome setupOutcomeOf(int exitStatus, const QString& errors) {
    switch (exitStatus) {
        case kSetupDone:
            return LoopbackSetup::Outcome::Done;
        case kPkexecDismissed:
            return LoopbackSetup::Outcome::Dismissed;
        case kPkexecRefused:
            return refusalOf(errors);
        case kSetupModprobeFailed:
            return LoopbackSetup::Outcome::LoadFailed;
        case kSetupKeepFailed:
            return LoopbackSetup::Outcome::KeepFailed;
        default:
            return LoopbackSetup::Outcome::Failed;
    }
}

LoopbackSetup::LoopbackSetup(QObject* parent, QString helper, Prober prober)
    : QObject(parent),
      helper_(helper.isEmpty()
                  ? QString::fromStdString(executableDirectory()) + "/lumora-loopback-setup"
                  : std::move(helper)),
      prober_(std::move(prober)),
      probing_(new QFutureWatcher<LoopbackSituation>(this)),
      process_(new QProcess(this)) {
    connect(probing_, &QFutureWatcher<LoopbackSituation>::finished, this,
            [this] { emit sig_probed(probing_->result()); });
    connect(process_, &QProcess::finished, this, &LoopbackSetup::onFinished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            emit sig_finished(Outcome::NoPkexec, process_->errorString());
        }
    });
}

LoopbackSituation LoopbackSetup::machineSituation() {
    LoopbackPlaces places;
    return {loopbackModuleState(places), loopbackKeptAtBoot(places)};
}

void LoopbackSetup::probe() {
    if (!probing_->isRunning()) {
        probing_->setFuture(QtConcurrent::run(prober_));
    }
}

QStringList LoopbackSetup::commandLine(bool keep) const {
    return {QStringLiteral("pkexec"), helper_,
            keep ? QStringLiteral("load-and-keep") : QStringLiteral("load")};
}

bool LoopbackSetup::running() const { return process_->state() != QProcess::NotRunning; }

void LoopbackSetup::run(bool keep) {
    if (running()) {
        return;
    }
    // pkexec says 127 for a missing program too, which reads as "cannot
    // authenticate"; a missing helper is told apart before asking.
    if (!QFileInfo(helper_).isExecutable()) {
        emit sig_finished(Outcome::NoHelper, helper_);
        return;
    }
    QStringList command = commandLine(keep);
    process_->start(command.takeFirst(), command);
}

void LoopbackSetup::onFinished() {
    QString errors = QString::fromUtf8(process_->readAllStandardError());
    Outcome outcome = process_->exitStatus() == QProcess::NormalExit
                          ? setupOutcomeOf(process_->exitCode(), errors)
                          : Outcome::Failed;
    emit sig_finished(outcome, lastLine(errors));
}
