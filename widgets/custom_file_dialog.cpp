#include "widgets/custom_file_dialog.h"

#include <QFileInfo>
#include <QSettings>

namespace {
FileChooser* g_chooser = nullptr;  // user-interface thread only

FileChooser& chooser() {
    static FileChooser fileDialog;
    return g_chooser ? *g_chooser : fileDialog;
}

QString lastFolder(const QString& key) { return QSettings().value(key).toString(); }

void rememberFolder(const QString& key, const QString& folder) {
    QSettings settings;
    settings.setValue(key, folder);
}
}  // namespace

QStringList FileChooser::openFileNames(QWidget* parent, const QString& caption,
                                       const QString& folder, const QString& filter,
                                       QFileDialog::Options options) {
    return QFileDialog::getOpenFileNames(parent, caption, folder, filter, nullptr, options);
}

QString FileChooser::openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter, QFileDialog::Options options) {
    return QFileDialog::getOpenFileName(parent, caption, folder, filter, nullptr, options);
}

QString FileChooser::saveFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter, QFileDialog::Options options) {
    return QFileDialog::getSaveFileName(parent, caption, folder, filter, nullptr, options);
}

QString FileChooser::existingDirectory(QWidget* parent, const QString& caption,
                                       const QString& folder, QFileDialog::Options options) {
    return QFileDialog::getExistingDirectory(parent, caption, folder, options);
}

void CustomFileDialog::setChooser(FileChooser* chooser) { g_chooser = chooser; }

QStringList CustomFileDialog::getOpenFileNames_(QWidget* parent, const QString& caption,
                                                const QString& filter, const QString& name,
                                                QFileDialog::Options options) {
    QString key = "getOpenFileNames_" + name;
    QStringList files = chooser().openFileNames(parent, caption, lastFolder(key), filter, options);
    if (!files.isEmpty()) {
        rememberFolder(key, QFileInfo(files.first()).path());
    }
    return files;
}

QString CustomFileDialog::getOpenFileName_(QWidget* parent, const QString& caption,
                                           const QString& filter, const QString& name,
                                           QFileDialog::Options options) {
    QString key = "getOpenFileName_" + name;
    QString file = chooser().openFileName(parent, caption, lastFolder(key), filter, options);
    if (!file.isEmpty()) {
        rememberFolder(key, QFileInfo(file).path());
    }
    return file;
}

QString CustomFileDialog::getSaveFileName_(QWidget* parent, const QString& caption,
                                           const QString& filter, const QString& name,
                                           QFileDialog::Options options) {
    QString key = "getSaveFileName_" + name;
    QString file = chooser().saveFileName(parent, caption, lastFolder(key), filter, options);
    if (!file.isEmpty()) {
        rememberFolder(key, QFileInfo(file).path());
    }
    return file;
}

QString CustomFileDialog::getExistingDirectory_(QWidget* parent, const QString& caption,
                                                const QString& name, QFileDialog::Options options) {
    QString key = "getExistingDirectory_" + name;
    QString folder = chooser().existingDirectory(parent, caption, lastFolder(key), options);
    if (!folder.isEmpty()) {
        rememberFolder(key, folder);
    }
    return folder;
}
