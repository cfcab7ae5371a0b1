// Paints every picture of the user interface into a skin folder, so the art
// is code. The build runs it into bin/skin beside the program.
// Usage: lumora-skin-art OUTPUT_FOLDER [--icons ICON_THEME_FOLDER] [--english QM_FILE]
// With --icons the program's icon is also written as the desktop's icon
// theme wants it: ICON_THEME_FOLDER/<N>x<N>/apps/lumora.png. With --english
// the pictures that carry text are painted again with that translation into
// OUTPUT_FOLDER/en, which the program reads first when it speaks English.
// A text too wide for its picture even at the smallest size fails the run.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTranslator>

#include <cstdio>

#include "tools/skin_art/app_icon.h"
#include "tools/skin_art/ico_writer.h"
#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/picture_writer.h"
#include "tools/skin_art/skin_picture.h"

namespace {
bool writeSkin(const QDir& folder, QString* error) {
    if (!folder.mkpath(".")) {
        *error = QString("cannot create %1").arg(folder.path());
        return false;
    }
    for (const SkinPicture& picture : skinCatalogue()) {
        if (!writePicture(picture, folder, error)) {
            return false;
        }
    }
    return writeIco(appIconImages(), folder.filePath("app.ico"), error);
}
QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Paints the catalogue again in English and keeps, under `folder`/en, the
// pictures (and their 2x versions) that came out different.
bool writeEnglish(const QDir& folder, const QString& catalogue, QString* error) {
    QTranslator english;
    if (!english.load(catalogue) || !QCoreApplication::installTranslator(&english)) {
        *error = QString("cannot load the translation %1").arg(catalogue);
        return false;
    }
    QDir(folder.filePath("en")).removeRecursively();
    QTemporaryDir scratch;
    QDir painted(scratch.path());
    for (const SkinPicture& picture : skinCatalogue()) {
        if (!writePicture(picture, painted, error)) {
            return false;
        }
        for (QString file : {picture.path, QString(picture.path).replace(".png", "@2x.png")}) {
            QByteArray bytes = bytesOf(painted.filePath(file));
            if (bytes.isEmpty() || bytes == bytesOf(folder.filePath(file))) {
                continue;
            }
            QString target = folder.filePath("en/" + file);
            QDir().mkpath(QFileInfo(target).path());
            QFile::remove(target);
            if (!QFile::copy(painted.filePath(file), target)) {
                *error = QString("cannot write %1").arg(target);
                return false;
            }
        }
    }
    QCoreApplication::removeTranslator(&english);
    return true;
}

bool writeThemeIcons(const QDir& theme, QString* error) {
    for (const QImage& image : appIconImages()) {
        QString folder = QString("%1x%1/apps").arg(image.width());
        if (!theme.mkpath(folder) || !image.save(theme.filePath(folder + "/lumora.png"))) {
            *error = QString("cannot write the %1 icon under %2").arg(folder, theme.path());
            return false;
        }
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QString icons, english;
    bool understood = arguments.size() >= 2 && arguments.size() % 2 == 0;
    for (int i = 2; understood && i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--icons") {
            icons = arguments[i + 1];
        } else if (arguments[i] == "--english") {
            english = arguments[i + 1];
        } else {
            understood = false;
        }
    }
    if (!understood) {
        std::fprintf(stderr,
                     "usage: lumora-skin-art OUTPUT_FOLDER [--icons ICON_THEME_FOLDER] "
                     "[--english QM_FILE]\n");
        return 2;
    }
    QString error;
    QDir folder(arguments[1]);
    if (!writeSkin(folder, &error) ||
        (!english.isEmpty() && !writeEnglish(folder, english, &error)) ||
        (!icons.isEmpty() && !writeThemeIcons(QDir(icons), &error))) {
        std::fprintf(stderr, "lumora-skin-art: %s\n", qPrintable(error));
        return 1;
    }
    if (!kit::shrunk().isEmpty()) {
        std::printf("lumora-skin-art: drawn smaller than the other labels to fit: %s\n",
                    qPrintable(kit::shrunk().join(", ")));
    }
    if (!kit::overflows().isEmpty()) {
        std::fprintf(stderr, "lumora-skin-art: too wide for their pictures: %s\n",
                     qPrintable(kit::overflows().join(", ")));
        return 1;
    }
    return 0;
}
