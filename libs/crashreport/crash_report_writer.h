#pragma once

#include <signal.h>

#include <string>

// What a crash report needs, filled in before any crash happens.
struct CrashContext {
    std::string program;   // the product's name, UTF-8
    std::string version;   // "1.1.8.0"
    std::string folder;    // where reports go; exists
    std::string reporter;  // the reporter program's path; empty: none
};

// Writes "<folder>/crash-<time>-<pid>.txt" with the program, the version,
// the signal and the stack trace of the crashing thread, then starts the
// reporter with the report's path. Runs inside the signal handler.
void writeCrashReport(const CrashContext& context, int signalNumber, siginfo_t* info,
                      void* machineContext);
