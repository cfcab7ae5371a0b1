#include "widgets/dialog_pending_manager.h"

DialogPendingManager* DialogPendingManager::instance() {
    static DialogPendingManager* manager = new DialogPendingManager;  // kept until exit
    return manager;
}

void DialogPendingManager::add(QObject* dialog) {
    connect(dialog, &QObject::destroyed, this, &DialogPendingManager::onObjDestroyed,
            Qt::UniqueConnection);
    if (!dialogs_.contains(dialog)) {
        dialogs_.append(dialog);
    }
}

void DialogPendingManager::onObjDestroyed(QObject* object) { dialogs_.removeAll(object); }
