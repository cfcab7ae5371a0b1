// Paints every picture of the user interface into a skin folder, so the art
// is code. The build runs it into bin/skin beside the program.
// Usage: lumora-skin-art OUTPUT_FOLDER

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
}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: lumora-skin-art OUTPUT_FOLDER\n");
        return 2;
    }
    QString error;
    if (!writeSkin(QDir(arguments[1]), &error)) {
        std::fprintf(stderr, "lumora-skin-art: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
