// The camera panel's set-up row, on its own in an offscreen application, for
// the tests that run it as an ordinary user in a real kernel: it waits for
// the row's first answer, ticks or clears the keep box, presses the button
// and reports each step on standard output, one "step: …" a line.
//
//   loopback_setup_driver HELPER keep|once

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMetaEnum>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/loopback_setup_row.h"

namespace {
// Past this the run is reported as stuck rather than left to hang the test.
constexpr int kPatienceMs = 300000;

const char* moduleName(LoopbackModule module) {
    switch (module) {
        case LoopbackModule::Loaded:
            return "loaded";
        case LoopbackModule::Installed:
            return "installed";
        case LoopbackModule::Missing:
            break;
    }
    return "missing";
}

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        say("usage: loopback_setup_driver HELPER keep|once");
        return 2;
    }
    bool keep = QString(argv[2]) == "keep";
    auto* setup = new LoopbackSetup(nullptr, argv[1]);
    LoopbackSetupRow row(nullptr, setup);
    bool pressed = false;
    QObject::connect(setup, &LoopbackSetup::sig_probed, &row, [&](const LoopbackSituation& now) {
        say(QString("%1: module=%2 row=%3 button=%4 keep=%5")
                .arg(pressed ? "after" : "before", moduleName(now.module))
                .arg(!row.isHidden())
                .arg(!row.setUpButton()->isHidden())
                .arg(!row.keepBox()->isHidden()));
        if (pressed) {
            application.quit();
            return;
        }
        pressed = true;
        row.keepBox()->setChecked(keep);
        row.setUpButton()->click();
    });
    QObject::connect(
        setup, &LoopbackSetup::sig_finished, &row,
        [&](LoopbackSetup::Outcome outcome, const QString&) {
            say(QString("outcome: ") + QMetaEnum::fromType<LoopbackSetup::Outcome>().valueToKey(
                                           static_cast<int>(outcome)));
            say("message: " + row.outcomeLine()->text());
        });
    QTimer::singleShot(kPatienceMs, &application, [&] {
        say("stuck");
        application.exit(3);
    });
    return application.exec();
}
