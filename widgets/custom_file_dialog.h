#pragma once

#include <QFileDialog>
#include <QStringList>

// What actually asks the user for files: the toolkit's file dialog by
// default; tests put a chooser of their own in its place.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    virtual QStringList openFileNames(QWidget* parent, const QString& caption,
                                      const QString& folder, const QString& filter,
                                      QFileDialog::Options options);
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                 const QString& filter, QFileDialog::Options options);
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& folder,
                                 const QString& filter, QFileDialog::Options options);
    virtual QString existingDirectory(QWidget* parent, const QString& caption,
                                      const QString& folder, QFileDialog::Options options);
};

// File dialogs that start where the same caller ("selvideo", "selpic", ...)
// left off last time. The folders are kept in the toolkit's default settings
// scope under "<function>_<name>" keys, apart from the program's own store.
// getOpenFileNames_ returns only files that exist; a message box names the
// others (typed names need not exist).
class CustomFileDialog {
public:
    static QStringList getOpenFileNames_(QWidget* parent, const QString& caption,
                                         const QString& filter, const QString& name,
                                         QFileDialog::Options options = {});
    static QString getOpenFileName_(QWidget* parent, const QString& caption, const QString& filter,
                                    const QString& name, QFileDialog::Options options = {});
    static QString getSaveFileName_(QWidget* parent, const QString& caption, const QString& filter,
                                    const QString& name, QFileDialog::Options options = {});
    static QString getExistingDirectory_(QWidget* parent, const QString& caption,
                                         const QString& name, QFileDialog::Options options = {});

    // Replaces the chooser (not owned); null restores the file dialog.
    static void setChooser(FileChooser* chooser);
};
