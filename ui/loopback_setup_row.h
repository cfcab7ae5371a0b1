#pragma once

#include <QWidget>

#include "app/loopback_setup.h"

class QCheckBox;
class QLabel;
class QPushButton;

// Under the virtual camera's findings: where the v4l2loopback module is
// installed but no device exists, a button that makes Lumora's devices
// through pkexec, and a box that keeps them across reboots (shown only when
// the boot files are not installed); where the module is not installed, the
// package to install. Hidden while the devices exist.
class LoopbackSetupRow : public QWidget {
    Q_OBJECT

public:
    // `setup` answers and acts; by default the machine's own. The row owns it.
    explicit LoopbackSetupRow(QWidget* parent = nullptr, LoopbackSetup* setup = nullptr);

    LoopbackSetup* setup() const { return setup_; }
    QLabel* situationLine() const { return situation_; }
    QLabel* outcomeLine() const { return outcome_; }
    QPushButton* setUpButton() const { return setUp_; }
    QCheckBox* keepBox() const { return keep_; }

    // Asks the machine again (a device may have come or gone).
    void refresh();

signals:
    // The set-up ran well: the panel's findings are worth asking again.
    void sig_devicesMade();

private:
    void showSituation(const LoopbackSituation& situation);
    void onSetUp();
    void onFinished(LoopbackSetup::Outcome outcome, const QString& detail);
    QString outcomeText(LoopbackSetup::Outcome outcome, const QString& detail) const;

    LoopbackSetup* setup_;
    QLabel* situation_;
    QLabel* outcome_;
    QPushButton* setUp_;
    QCheckBox* keep_;
};
