// lumora-bugreport <report>: shows a crash report that the program wrote
// just before it died.

#include <QApplication>
#include <cstdio>

#include "libs/crashreport/bugreport_window.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <report file>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    BugReportWindow window(QString::fromLocal8Bit(argv[1]));
    window.show();
    return app.exec();
}
