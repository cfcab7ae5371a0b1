#include "setup/loopback_setup.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {
namespace fs = std::filesystem;

// Where Debian and its kin keep modprobe; PATH is the caller's, so unused.
constexpr const char* kModprobePlaces[] = {"/usr/sbin/modprobe", "/sbin/modprobe"};

std::string modprobePath() {
    for (const char* path : kModprobePlaces) {
        if (access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

int waitFor(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes beside the target and renames, so that boot never reads half a file.
bool writeWhole(const fs::path& target, const std::string& text, std::string* error) {
    std::error_code failed;
    fs::create_directories(target.parent_path(), failed);
    fs::path partial = target;
    partial += ".lumora-new";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << text;
        if (!out.flush()) {
            *error = "cannot write " + partial.string();
            return false;
        }
    }
    chmod(partial.c_str(), 0644);
    fs::rename(partial, target, failed);
    if (failed) {
        *error = "cannot replace " + target.string() + ": " + failed.message();
        fs::remove(partial, failed);
        return false;
    }
    return true;
}
}  // namespace

std::optional<SetupAction> setupActionOf(int argc, const char* const* argv) {
    if (argc != 2) {
        return std::nullopt;
    }
    if (std::strcmp(argv[1], "load") == 0) {
        return SetupAction::Load;
    }
    if (std::strcmp(argv[1], "load-and-keep") == 0) {
        return SetupAction::LoadAndKeep;
    }
    return std::nullopt;
}

int loadLoopbackModule() {
    std::string modprobe = modprobePath();
    if (modprobe.empty()) {
        return -1;
    }
    std::vector<std::string> words = loopbackModprobeArguments();
    words.insert(words.begin(), modprobe);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char* environment[] = {path, nullptr};
    pid_t child = fork();
    if (child == 0) {
        execve(modprobe.c_str(), argv.data(), environment);
        _exit(127);
    }
    return child < 0 ? -1 : waitFor(child);
}

bool keepLoopbackAtBoot(const LoopbackPlaces& places, const std::string& etcDir,
                        std::string* error) {
    for (const LoopbackBootFile& file : loopbackBootFiles()) {
        if (bootFilePresent(places, file)) {
            continue;  // installed with Lumora, or kept before
        }
        if (!writeWhole(fs::path(etcDir) / file.folder / file.name, file.text, error)) {
            return false;
        }
    }
    return true;
}
