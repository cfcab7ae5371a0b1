// lumora-bugreport <report>: shows a crash report that the program wrote
// just before it died, in the program's language (LUMORA_LANG, which the
// program passed on, else the desktop's).

#include <QApplication>
#include <QTranslator>
#include <cstdio>

#include "base/language.h"
#include "libs/crashreport/bugreport_window.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <report file>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QTranslator english;
    if (programLanguage() == Language::English &&
        english.load("lumora_en.qm", QCoreApplication::applicationDirPath() + "/lang")) {
        QCoreApplication::installTranslator(&english);
    }
    BugReportWindow window(QString::fromLocal8Bit(argv[1]));
    window.show();
    return app.exec();
}
