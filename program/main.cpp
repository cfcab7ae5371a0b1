// Lumora's entry: one copy per user, the crash reporter, the language and
// its texts, the Fusion style, the skin, the interface font and style
// sheet, then the main window until the tray's "退出" (or SIGTERM) ends the
// event loop. The virtual camera's device feeder runs beside the program.

#include <glib.h>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QFontDatabase>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/activation_request.h"
#include "app/helper_keeper.h"
#include "app/helper_process.h"
#include "app/media_site.h"
#include "app/single_application.h"
#include "app/startup.h"
#include "base/debug_log.h"
#include "channel/reader_lock.h"
#include "engine/play_graph.h"
#include "libs/crashreport/crash_main_installer.h"
#include "outputs/vcam_output.h"
#include "ui/lumora_box.h"
#include "widgets/skin_style.h"

namespace {
constexpr int kMessageTimeoutMs = 5000;
int g_quitPipe[2] = {-1, -1};

VideoOutput* virtualCamera() { return VCamOutput::instance(); }
void tellVirtualCamera(const OutputMode& mode) { VCamOutput::instance()->SetMode(mode); }

void onQuitSignal(int) {
    char byte = 1;
    (void)!::write(g_quitPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the program as the tray's "退出" does, so the
// panels save their state when the session ends.
void quitOnTerminationSignals(QObject* owner) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_quitPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        if (LumoraBox* box = LumoraBox::instance())
            box->onMenuQuit();
    });
    std::signal(SIGTERM, onQuitSignal);
    std::signal(SIGINT, onQuitSignal);
}

// "--version" or "--help" when either is asked for, else null.
const char* informationAsked(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "--help") == 0) {
            return argv[i];
        }
    }
    return nullptr;
}

// --version and --help, in the language the window would speak.
void printInformation(const char* asked, int argc, char** argv) {
    if (std::strcmp(asked, "--version") == 0) {
        std::printf("lumora %s\n", "1.1.8");
        return;
    }
    QCoreApplication core(argc, argv);
    QTranslator translator;
    installTranslations(startupLanguage(), translator);
    std::printf("%s", qPrintable(QCoreApplication::translate(
                          "main",
                          "用法：lumora [--version]\n"
                          "Lumora 把摄像头、视频或图片加上特效合成实时画面，\n"
                          "并作为虚拟摄像头发布（见 lumora-vcam --help）。\n"
                          "语言跟随桌面；LUMORA_LANG=zh 或 en 可以指定。\n")));
}

// glibc gives every thread that allocates its own arena, up to eight per
// core; with a dozen GStreamer and Qt threads each arena kept its own freed
// frames and caps, some 6 MB more at 640 x 480. Two arenas are enough for
// threads that allocate little per frame.
// glibc also raises its threshold for mapping a block on its own to the size
// of every mapped block freed, so after the first picture-sized block comes
// back, later ones (decoder and encoder set-up, skin pictures) are carved
// out of the arenas and their pages stay there once freed: 4 MB more while
// recording at 640 x 480. A fixed threshold keeps every block from 128 KiB
// up in its own mapping, returned whole when freed; the per-picture buffers
// come from pools and are not mapped again for each picture.
void keepMallocCompact() {
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

// GLib before 2.76 keeps freed list nodes, GStreamer events and messages in
// a slice allocator of its own, with magazines per thread: 1.2 MB more
// while recording at 640 x 480 than through malloc, which GLib 2.76 went
// over to. G_SLICE=always-malloc asks the same of an older GLib, but GLib
// reads it as it is loaded, before main; so the program starts itself once
// more with it set. If that fails it simply goes on as it is.
// It starts the file /proc/self/exe points at, not the link itself: the
// kernel names a process after the file it was started from, and a program
// named "exe" is one that ps, top and pkill do not know as Lumora.
void runGLibSlicesThroughMalloc(char** argv) {
#if !GLIB_CHECK_VERSION(2, 76, 0)
    if (std::getenv("G_SLICE") != nullptr) {
        return;  // set by the user, or this is the second start
    }
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path - 1) {
        return;
    }
    path[length] = '\0';
    if (setenv("G_SLICE", "always-malloc", 1) == 0) {
        execv(path, argv);
    }
#else
    (void)argv;
#endif
}
}  // namespace

int main(int argc, char** argv) {
    runGLibSlicesThroughMalloc(argv);
    keepMallocCompact();
    if (const char* asked = informationAsked(argc, argv)) {
        printInformation(asked, argc, argv);
        return 0;
    }
    SingleApplication app("LumoraBox", argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QTranslator translator;
    Language language = startupLanguage();
    if (!installTranslations(language, translator)) {
        debugLog("language: the %s catalogue is missing", languageCode(language));
    }
    if (app.isRunning()) {
        // The launcher's activation token, if any, lets the running copy's
        // window take the focus on Wayland.
        app.sendMessage(activationMessage({qEnvironmentVariable("XDG_ACTIVATION_TOKEN")}),
                        kMessageTimeoutMs);
        return 0;
    }
    CrashMainInstaller crashReports;
    crashReports.setAppInfo(L"Lumora直播伴侣", L"1.1.8.0");
    crashReports.setCrashReportPath(L"lumora-bugreport", nullptr);
    crashReports.install();

    SkinStyle::instance()->setSkin("skin");
    if (language == Language::English) {
        SkinStyle::instance()->setLanguageFolder("en");
    }
    QApplication::setFont(interfaceFont(QFontDatabase::families()));
    app.setStyleSheet(
        applicationStyleSheet(SkinStyle::instance()->skinDirectory(), app.devicePixelRatio()));
    PlayGraph::SetDefaultOutputProvider(&virtualCamera);
    MediaSite::SetModeListener(&tellVirtualCamera);
    // The user's lumora-vcam service, when it runs, feeds the camera for as
    // long as it runs, across restarts of the program; else the program
    // starts its own reader for its own lifetime.
    HelperKeeper cameraFeeder(executableDirectory() + "/lumora-vcam", {"--auto"});
    if (ReaderLock::heldByAnyone()) {
        debugLog("virtual camera: a running reader feeds it");
    } else {
        cameraFeeder.start();
        debugLog("virtual camera: our own reader feeds it");
    }

    // Before the window shows: a session that ends as it appears still gets
    // a clean quit (the request waits in the pipe until the loop runs).
    quitOnTerminationSignals(&app);
    LumoraBox* box = LumoraBox::instance();
    box->showDialog();
    QObject::connect(&app, &SingleApplication::messageReceived, box, &LumoraBox::onAppMessage);
    int result = app.exec();
    // The worker must stop before main returns: it would go on ticking while
    // the libraries' statics are destroyed, and OpenCV's thread pool, torn
    // down under a running conversion, threw and ended the program with an
    // abort at every few exits.
    PlayGraph::Instance()->Stop();
    LumoraBox::destroy();
    return result;
}
