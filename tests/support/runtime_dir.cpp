#include "tests/support/runtime_dir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

ScopedRuntimeDir::ScopedRuntimeDir() {
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    hadPrevious_ = previous != nullptr;
    previous_ = hadPrevious_ ? previous : "";
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
    setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
}

ScopedRuntimeDir::~ScopedRuntimeDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    if (hadPrevious_) {
        setenv("XDG_RUNTIME_DIR", previous_.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}
