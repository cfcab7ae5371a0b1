#include "libs/crashreport/crash_report_writer.h"

#define BACKWARD_HAS_DW 1
#include <fcntl.h>
#include <ucontext.h>
#include <unistd.h>
#include <backward.hpp>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {
void* faultingInstruction(void* machineContext) {
#if defined(__x86_64__)
    return reinterpret_cast<void*>(
        static_cast<ucontext_t*>(machineContext)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<void*>(static_cast<ucontext_t*>(machineContext)->uc_mcontext.pc);
#else
    (void)machineContext;
    return nullptr;
#endif
}

void startReporter(const CrashContext& context, const char* report) {
    if (context.reporter.empty()) {
        return;
    }
    pid_t child = fork();
    if (child == 0) {
        setsid();  // outlives the crashing process
        execl(context.reporter.c_str(), context.reporter.c_str(), report,
              static_cast<char*>(nullptr));
        _exit(127);
    }
}

void writeStack(FILE* out, siginfo_t* info, void* machineContext) {
    backward::StackTrace trace;
    void* at = faultingInstruction(machineContext);
    if (at != nullptr) {
        trace.load_from(at, 48, machineContext, info->si_addr);
    } else {
        trace.load_here(48, machineContext, info->si_addr);
    }
    backward::Printer printer;
    printer.address = true;
    printer.object = true;
    printer.color_mode = backward::ColorMode::never;
    printer.print(trace, out);
}
}  // namespace

void writeCrashReport(const CrashContext& context, int signalNumber, siginfo_t* info,
                      void* machineContext) {
    char path[4096];
    std::snprintf(path, sizeof path, "%s/crash-%lld-%d.txt", context.folder.c_str(),
                  static_cast<long long>(time(nullptr)), static_cast<int>(getpid()));
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    FILE* out = fdopen(fd, "w");
    if (out == nullptr) {
        close(fd);
        return;
    }
    std::fprintf(out, "program: %s\nversion: %s\nsignal: %d (%s)\naddress: %p\npid: %d\n\n",
                 context.program.c_str(), context.version.c_str(), signalNumber,
                 strsignal(signalNumber), info ? info->si_addr : nullptr,
                 static_cast<int>(getpid()));
    writeStack(out, info, machineContext);
    std::fclose(out);
    startReporter(context, path);
}
