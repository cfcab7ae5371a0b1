#pragma once

#include <QList>
#include <QObject>

// Every dialog that has been inside CustomDialog::exec(), until it is
// destroyed; shutdown uses it to find dialogs whose local loops still run.
// Created on first use and kept until exit; user-interface thread only.
class DialogPendingManager : public QObject {
    Q_OBJECT

public:
    static DialogPendingManager* instance();

    void add(QObject* dialog);
    const QList<QObject*>& dialogs() const { return dialogs_; }

public slots:
    void onObjDestroyed(QObject* object);

private:
    DialogPendingManager() = default;

    QList<QObject*> dialogs_;
};
