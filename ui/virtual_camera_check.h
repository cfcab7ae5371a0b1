#pragma once

#include <QObject>
#include <QString>

class QProcess;

// Asks `lumora-vcam --check` what stands in the way of the virtual camera,
// without blocking the interface, and reports its findings as one line for
// the camera panel: empty when the camera can be reached.
class VirtualCameraCheck : public QObject {
    Q_OBJECT

public:
    // `program` is the lumora-vcam to ask; by default the one beside us.
    explicit VirtualCameraCheck(QObject* parent = nullptr, QString program = QString());

    // Starts a check unless one runs; the answer comes with sig_checked.
    void check();
    bool running() const;

signals:
    void sig_checked(const QString& findings);

private:
    void onFinished();

    QString program_;
    QProcess* process_ = nullptr;
};

// lumora-vcam's findings, one per line, joined into the panel's one line.
QString joinFindings(const QString& output);
