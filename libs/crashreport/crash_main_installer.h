#pragma once

#include <string>

// Writes a report when the program dies of a fatal signal (SIGSEGV, SIGABRT,
// SIGBUS, SIGFPE, SIGILL): the program, its version, the signal and a
// symbolised stack trace, into ~/.local/state/LumoraBox/crashes/ (under
// $XDG_STATE_HOME when set). Then it starts the reporter program, when that
// sits beside the executable, with the report's path, and lets the signal
// end the process as it would have.
//
// One installer per process, made on the main thread before other threads.
// LUMORA_CRASH_REPORTER, when set, names the reporter program instead; set
// empty, no reporter is started.
class CrashMainInstaller {
public:
    CrashMainInstaller();
    ~CrashMainInstaller();
    CrashMainInstaller(const CrashMainInstaller&) = delete;
    CrashMainInstaller& operator=(const CrashMainInstaller&) = delete;

    void setAppInfo(const wchar_t* name, const wchar_t* version);
    // The reporter's file name (beside the executable); `unused` is kept for
    // the call's shape and ignored.
    void setCrashReportPath(const wchar_t* reporter, const wchar_t* unused);
    // False when the handlers or the report folder could not be set up.
    bool install();

    // The folder reports go to.
    static std::string reportFolder();

private:
    bool installed_ = false;
};
