#include "widgets/custom_file_dialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QSettings>
#include <QTreeView>

#include "widgets/custom_message_box.h"

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

QString folderOfFile(const QString& file) { return QFileInfo(file).path(); }

// Asks starting in the folder remembered under `key`; an answer (not a
// cancel) leaves its folder remembered there for the next time.
template <typename Answer, typename Ask, typename FolderOf>
Answer askRemembering(const QString& key, Ask ask, FolderOf folderOf) {
    Answer answer = ask(lastFolder(key));
    if (!answer.isEmpty()) {
        rememberFolder(key, folderOf(answer));
    }
    return answer;
}

constexpr int kNamesShown = 10;

QString missingFilesText(const QStringList& missing) {
    QStringList shown = missing.mid(0, kNamesShown);
    if (missing.size() > kNamesShown) {
        shown << QCoreApplication::translate("CustomFileDialog", "……等 %1 个").arg(missing.size());
    }
    return QCoreApplication::translate("CustomFileDialog", "找不到以下文件，未添加：") + "\n" +
           shown.join("\n");
}

// A name typed into the dialog need not exist. Such names are left out and
// the user is told which, rather than losing them without a word.
QStringList existingFilesOnly(QWidget* parent, const QStringList& chosen) {
    QStringList existing, missing;
    for (const QString& file : chosen) {
        (QFileInfo(file).isFile() ? existing : missing) << file;
    }
    if (!missing.isEmpty()) {
        CustomMessageBox box(QMessageBox::Warning,
                             QCoreApplication::translate("CustomFileDialog", "提示"),
                             missingFilesText(missing), QMessageBox::Ok, parent);
        box.exec();
    }
    return existing;
}
}  // namespace

namespace {
// Qt's own file dialog opens small, with columns too narrow for a size or a
// type in Chinese ("35…iB"); it gets room and columns that fit their
// contents. A desktop's native dialog ignores both.
QStringList runDialog(QWidget* parent, const QString& caption, const QString& folder,
                      const QString& filter, QFileDialog::Options options,
                      QFileDialog::FileMode mode, QFileDialog::AcceptMode accept) {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setOptions(options);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(accept);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(820, 500);
    if (auto* details = dialog.findChild<QTreeView*>("treeView")) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}
}  // namespace

QStringList FileChooser::openFileNames(QWidget* parent, const QString& caption,
                                       const QString& folder, const QString& filter,
                                       QFileDialog::Options options) {
    return runDialog(parent, caption, folder, filter, options, QFileDialog::ExistingFiles,
                     QFileDialog::AcceptOpen);
}

QString FileChooser::openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter, QFileDialog::Options options) {
    return runDialog(parent, caption, folder, filter, options, QFileDialog::ExistingFile,
                     QFileDialog::AcceptOpen)
        .value(0);
}

QString FileChooser::saveFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter, QFileDialog::Options options) {
    return runDialog(parent, caption, folder, filter, options, QFileDialog::AnyFile,
                     QFileDialog::AcceptSave)
        .value(0);
}

QString FileChooser::existingDirectory(QWidget* parent, const QString& caption,
                                       const QString& folder, QFileDialog::Options options) {
    return runDialog(parent, caption, folder, QString(), options | QFileDialog::ShowDirsOnly,
                     QFileDialog::Directory, QFileDialog::AcceptOpen)
        .value(0);
}

void CustomFileDialog::setChooser(FileChooser* chooser) { g_chooser = chooser; }

QStringList CustomFileDialog::getOpenFileNames_(QWidget* parent, const QString& caption,
                                                const QString& filter, const QString& name,
                                                QFileDialog::Options options) {
    QStringList chosen = askRemembering<QStringList>(
        "getOpenFileNames_" + name,
        [&](const QString& folder) {
            return chooser().openFileNames(parent, caption, folder, filter, options);
        },
        [](const QStringList& files) { return folderOfFile(files.first()); });
    return existingFilesOnly(parent, chosen);
}

QString CustomFileDialog::getOpenFileName_(QWidget* parent, const QString& caption,
                                           const QString& filter, const QString& name,
                                           QFileDialog::Options options) {
    return askRemembering<QString>(
        "getOpenFileName_" + name,
        [&](const QString& folder) {
            return chooser().openFileName(parent, caption, folder, filter, options);
        },
        folderOfFile);
}

QString CustomFileDialog::getSaveFileName_(QWidget* parent, const QString& caption,
                                           const QString& filter, const QString& name,
                                           QFileDialog::Options options) {
    return askRemembering<QString>(
        "getSaveFileName_" + name,
        [&](const QString& folder) {
            return chooser().saveFileName(parent, caption, folder, filter, options);
        },
        folderOfFile);
}

QString CustomFileDialog::getExistingDirectory_(QWidget* parent, const QString& caption,
                                                const QString& name, QFileDialog::Options options) {
    return askRemembering<QString>(
        "getExistingDirectory_" + name,
        [&](const QString& folder) {
            return chooser().existingDirectory(parent, caption, folder, options);
        },
        [](const QString& folder) { return folder; });
}
