#include "bench/plain_pipeline.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <sstream>
#include <thread>

extern char** environ;

namespace {
double seconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

double plainPipelineCoreFraction(const std::vector<std::string>& words,
                                 std::chrono::seconds duration) {
    std::vector<std::string> command = {"gst-launch-1.0", "-q", "-e"};
    command.insert(command.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "gst-launch-1.0", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(duration);
    kill(pid, SIGINT);
    int status;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return seconds(usage) / wall;
}

std::vector<std::string> splitWords(const std::string& description) {
    std::vector<std::string> words;
    std::istringstream stream(description);
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage);
}
