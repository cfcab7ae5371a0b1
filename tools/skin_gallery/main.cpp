// Renders every widget of the toolkit with a skin into PNG sheets, one per
// group, so the whole look can be checked at a glance.
//
//   lumora-skin-gallery [--skin <folder>] [--scale 1|2] <output folder>

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/skin_gallery/gallery_sheets.h"
#include "widgets/skin_style.h"

namespace {
struct Options {
    QString skin;
    QString output;
    qreal scale = 1;
    bool ok = false;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--skin" && i + 1 < argc) {
            options.skin = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--scale" && i + 1 < argc) {
            options.scale = std::atof(argv[++i]);
        } else if (!arg.starts_with("--") && options.output.isEmpty()) {
            options.output = QString::fromLocal8Bit(argv[i]);
        } else {
            return options;
        }
    }
    options.ok = !options.output.isEmpty() && (options.scale == 1 || options.scale == 2);
    return options;
}
}  // namespace

int main(int argc, char** argv) {
    Options options = parse(argc, argv);
    if (!options.ok) {
        std::fprintf(stderr, "usage: %s [--skin <folder>] [--scale 1|2] <output folder>\n",
                     argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_SCALE_FACTOR", options.scale == 2 ? "2" : "1", 1);
    QApplication app(argc, argv);
    // Widgets that do not paint their whole rectangle show the window colour
    // behind them, as the program's dark pages do.
    QPalette palette = app.palette();
    palette.setColor(QPalette::Window, QColor(0x22, 0x28, 0x2F));
    palette.setColor(QPalette::WindowText, Qt::white);
    app.setPalette(palette);
    if (!options.skin.isEmpty()) {
        SkinStyle::instance()->setSkinDirectory(QDir(options.skin).absolutePath());
    }
    if (!QDir(SkinStyle::instance()->skinDirectory()).exists()) {
        std::fprintf(stderr, "no skin folder at %s\n",
                     qPrintable(SkinStyle::instance()->skinDirectory()));
        return 1;
    }
    if (!QDir().mkpath(options.output)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(options.output));
        return 1;
    }
    struct Named {
        const char* name;
        ContactSheet (*make)(qreal);
    };
    QString suffix = options.scale == 2 ? "@2x.png" : ".png";
    for (Named sheet : {Named{"buttons", buttonSheet}, Named{"dialogs", dialogSheet},
                        Named{"item-views", itemViewSheet}, Named{"sliders", sliderSheet},
                        Named{"pictures", pictureSheet}, Named{"main-window", mainWindowSheet}}) {
        QString path = options.output + "/" + sheet.name + suffix;
        ContactSheet made = sheet.make(options.scale);
        if (!made.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s: %d pictures\n", qPrintable(path), made.pictureCount());
    }
    return 0;
}
