#include "libs/crashreport/crash_main_installer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "libs/crashreport/crash_report_writer.h"

namespace {
constexpr std::array<int, 5> kFatalSignals = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kAlternateStackSize = 256 * 1024;

// Everything the handler needs, prepared before any crash: a handler must
// not build strings or look things up.
CrashContext g_context;

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        wchar_t c = *text;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | ((c >> 12) & 0x0F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string executableDirectory() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

void onFatalSignal(int signalNumber, siginfo_t* info, void* machineContext) {
    writeCrashReport(g_context, signalNumber, info, machineContext);
    // Let the signal do what it would have done: end the process.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void setUpAlternateStack() {
    static std::array<char, kAlternateStackSize> stack;
    stack_t alternate{};
    alternate.ss_sp = stack.data();
    alternate.ss_size = stack.size();
    sigaltstack(&alternate, nullptr);
}
}  // namespace

CrashMainInstaller::CrashMainInstaller() = default;

CrashMainInstaller::~CrashMainInstaller() {
    if (installed_) {
        for (int signalNumber : kFatalSignals) {
            signal(signalNumber, SIG_DFL);
        }
    }
}

void CrashMainInstaller::setAppInfo(const wchar_t* name, const wchar_t* version) {
    g_context.program = narrow(name);
    g_context.version = narrow(version);
}

void CrashMainInstaller::setCrashReportPath(const wchar_t* reporter, const wchar_t*) {
    std::string path = executableDirectory() + "/" + narrow(reporter);
    g_context.reporter = ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::string CrashMainInstaller::reportFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string base = state != nullptr && *state != 0
                           ? std::string(state)
                           : std::string(home ? home : "/tmp") + "/.local/state";
    return base + "/LumoraBox/crashes";
}

bool CrashMainInstaller::install() {
    if (const char* chosen = std::getenv("LUMORA_CRASH_REPORTER")) {
        g_context.reporter = chosen;
    }
    g_context.folder = reportFolder();
    std::error_code error;
    std::filesystem::create_directories(g_context.folder, error);
    if (error) {
        return false;
    }
    setUpAlternateStack();
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kFatalSignals) {
        if (sigaction(signalNumber, &action, nullptr) != 0) {
            return false;
        }
    }
    installed_ = true;
    return true;
}
