#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "base/loopback_module.h"

class QProcess;

// What the machine has for the v4l2loopback devices.
struct LoopbackSituation {
    LoopbackModule module = LoopbackModule::Missing;
    bool keptAtBoot = false;  // the boot files are installed (or were kept before)
};

// The camera panel's one-click road to the v4l2loopback devices: asks what
// the machine has without blocking the interface, and runs
// `pkexec lumora-loopback-setup load|load-and-keep`. polkit asks for the
// password, in its own agent; Lumora never sees it.
class LoopbackSetup : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        Done,
        NotAuthorized,       // polkit said no
        Dismissed,           // the password dialog was closed
        NoAgent,             // no polkit agent runs to ask for the password
        CannotAuthenticate,  // any other failure of pkexec (its words as the detail)
        NoPkexec,            // pkexec could not be started
        NoHelper,            // lumora-loopback-setup is not beside us
        LoadFailed,          // modprobe refused (its words come as the detail)
        KeepFailed,          // loaded, but the boot files could not be written
        Failed,              // anything else
    };
    Q_ENUM(Outcome)

    using Prober = std::function<LoopbackSituation()>;

    // `helper` is the lumora-loopback-setup to run; by default the one beside
    // us. `prober` answers off the interface thread; tests give their own.
    explicit LoopbackSetup(QObject* parent = nullptr, QString helper = QString(),
                           Prober prober = machineSituation);

    // Asks again; the answer comes with sig_probed.
    void probe();
    // Sets the devices up (and keeps them across reboots); one at a time.
    void run(bool keep);
    bool running() const;
    // The program and arguments run() starts.
    QStringList commandLine(bool keep) const;

    static LoopbackSituation machineSituation();

signals:
    void sig_probed(const LoopbackSituation& situation);
    void sig_finished(LoopbackSetup::Outcome outcome, const QString& detail);

private:
    void onFinished();

    QString helper_;
    Prober prober_;
    QFutureWatcher<LoopbackSituation>* probing_;
    QProcess* process_;
};

// The outcome of a pkexec run of the helper from its exit status and what it
// wrote on standard error. pkexec says 126 only for a dismissed dialog and
// 127 for every other refusal, with its reason in (untranslated) words.
LoopbackSetup::Outcome setupOutcomeOf(int exitStatus, const QString& errors);
