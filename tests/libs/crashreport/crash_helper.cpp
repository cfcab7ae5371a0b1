// Installs the crash reporter and then dies as asked: "segv" writes through
// a null pointer inside faultInHere(), "abort" calls abort().

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "libs/crashreport/crash_main_installer.h"

namespace {
volatile int* g_nowhere = nullptr;

__attribute__((noinline)) void faultInHere() {
    *g_nowhere = 42;
    std::printf("survived\n");
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    CrashMainInstaller installer;
    installer.setAppInfo(L"Lumora直播伴侣", L"1.1.8.0");
    installer.setCrashReportPath(L"no-such-reporter", nullptr);
    if (!installer.install()) {
        return 3;
    }
    if (std::strcmp(argv[1], "segv") == 0) {
        faultInHere();
    } else if (std::strcmp(argv[1], "abort") == 0) {
        std::abort();
    }
    return 0;
}
