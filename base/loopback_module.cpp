#include "base/loopback_module.h"

#include <sys/utsname.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/loopback_files.h"

namespace {
namespace fs = std::filesystem;

constexpr const char* kOptionsPrefix = "options v4l2loopback ";

// Splits an options line at spaces, except inside double quotes, which stay
// in the word: the kernel reads card_label="a,b 2" as one value.
std::vector<std::string> optionWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ' ' && !quoted) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

std::string runningModulesDir() {
    utsname names{};
    uname(&names);
    return std::string("/lib/modules/") + names.release;
}

// A modules.dep line begins "path/v4l2loopback.ko[.xz|.zst|.gz]:"; a
// modules.builtin line is the bare path.
bool listsLoopback(const std::string& listFile) {
    std::ifstream list(listFile);
    std::string line;
    while (std::getline(list, line)) {
        std::string path = line.substr(0, line.find(':'));
        std::string name = fs::path(path).filename().string();
        if (name.rfind("v4l2loopback.ko", 0) == 0) {
            return true;
        }
    }
    return false;
}
}  // namespace

const std::vector<LoopbackBootFile>& loopbackBootFiles() {
    static const std::vector<LoopbackBootFile> files = {
        {"modprobe.d", "lumora-v4l2loopback.conf", kPackagedModprobeText},
        {"modules-load.d", "lumora.conf", kPackagedModulesLoadText},
    };
    return files;
}

std::vector<std::string> loopbackModprobeArguments() {
    std::istringstream text(kPackagedModprobeText);
    std::string line;
    while (std::getline(text, line)) {
        if (line.rfind(kOptionsPrefix, 0) == 0) {
            std::vector<std::string> arguments = {"v4l2loopback"};
            for (std::string& word : optionWords(line.substr(std::string(kOptionsPrefix).size()))) {
                arguments.push_back(std::move(word));
            }
            return arguments;
        }
    }
    return {"v4l2loopback"};
}

LoopbackModule loopbackModuleState(const LoopbackPlaces& places) {
    std::error_code error;
    if (fs::is_directory(places.moduleDir, error)) {
        return LoopbackModule::Loaded;
    }
    std::string modules = places.modulesDir.empty() ? runningModulesDir() : places.modulesDir;
    if (listsLoopback(modules + "/modules.dep") || listsLoopback(modules + "/modules.builtin")) {
        return LoopbackModule::Installed;
    }
    return LoopbackModule::Missing;
}

bool bootFilePresent(const LoopbackPlaces& places, const LoopbackBootFile& file) {
    std::error_code error;
    for (const std::string& root : places.configRoots) {
        if (fs::is_regular_file(fs::path(root) / file.folder / file.name, error)) {
            return true;
        }
    }
    return false;
}

bool loopbackKeptAtBoot(const LoopbackPlaces& places) {
    for (const LoopbackBootFile& file : loopbackBootFiles()) {
        if (!bootFilePresent(places, file)) {
            return false;
        }
    }
    return true;
}
