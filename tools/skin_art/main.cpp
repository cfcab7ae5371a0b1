// Paints every picture of the user interface into a skin folder, so the art
// is code. The build runs it into bin/skin beside the program.
// Usage: lumora-skin-art OUTPUT_FOLDER [--icons ICON_THEME_FOLDER]
// With --icons the program's icon is also written as the desktop's icon
// theme wants it: ICON_THEME_FOLDER/<N>x<N>/apps/lumora.png.

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "tools/skin_art/app_icon.h"
#include "tools/skin_art/ico_writer.h"
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
    bool withIcons = arguments.size() == 4 && arguments[2] == "--icons";
    if (arguments.size() != 2 && !withIcons) {
        std::fprintf(stderr, "usage: lumora-skin-art OUTPUT_FOLDER [--icons ICON_THEME_FOLDER]\n");
        return 2;
    }
    QString error;
    if (!writeSkin(QDir(arguments[1]), &error) ||
        (withIcons && !writeThemeIcons(QDir(arguments[3]), &error))) {
        std::fprintf(stderr, "lumora-skin-art: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
