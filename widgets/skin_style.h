#pragma once

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QString>

// Where the user interface's pictures come from: the skin folder beside the
// program. Pictures are loaded once and kept; a state strip (the states of a
// button side by side) is cut into equal slices once and kept too. A missing
// file gives a null picture, which is remembered as well.
//
// Threads: the user-interface thread only.
// The size a skin picture covers on screen, whatever its pixel ratio.
inline QSize logicalSize(const QPixmap& picture) {
    return picture.deviceIndependentSize().toSize();
}

class SkinStyle {
public:
    static SkinStyle* instance();
    virtual ~SkinStyle();

    // The skin folder: the program's folder + "/" + name ("skin" at start-up).
    void setSkin(const QString& name);
    // Any folder, for tools and tests.
    void setSkinDirectory(const QString& directory);
    const QString& skinDirectory() const { return directory_; }
    // A sub-folder of the skin whose pictures stand in for those of the same
    // path ("en": the pictures with English text); empty for none.
    void setLanguageFolder(const QString& folder);
    // The file of a picture: in the language folder when it has one there.
    QString skinPath(const QString& relativePath) const;

    // On a screen of device pixel ratio 2 the "name@2x.png" twin is loaded
    // when there is one; its size in device-independent pixels is the same.
    QPixmap pixmap(const QString& relativePath);
    // The same picture read afresh and not kept: for large pictures that
    // are shown only made smaller (the pendant art behind its tiles).
    QPixmap uncachedPixmap(const QString& relativePath);
    // Slice `index` of `count` equal slices cut side by side from the picture.
    // The slices are kept; the whole picture is not.
    QPixmap statePixmap(const QString& relativePath, int count, int index);
    // How many files were read so far (tests).
    int filesLoaded() const { return filesLoaded_; }

private:
    SkinStyle();

    QString directory_;
    QString languageFolder_;
    QHash<QString, QPixmap> pictures_;
    QHash<QString, QList<QPixmap>> strips_;  // by path and slice count
    int filesLoaded_ = 0;
};
