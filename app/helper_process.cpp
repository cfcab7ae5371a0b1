#include "app/helper_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

HelperProcess::~HelperProcess() { stop(); }

bool HelperProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    stop();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    failed_ = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0;
    if (failed_) {
        return false;
    }
    pid_ = pid;
    return true;
}

bool HelperProcess::isRunning() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        failed_ = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0);
        return false;
    }
    return true;
}

void HelperProcess::stop() {
    if (!isRunning()) {
        return;
    }
    kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string executableDirectory() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : path.parent_path().string();
}
