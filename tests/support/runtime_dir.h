#pragma once

#include <string>

// Points XDG_RUNTIME_DIR at a fresh private folder for the life of the object,
// so that channel objects of a test never meet those of another test or of a
// running Lumora. Child processes inherit it.
class ScopedRuntimeDir {
public:
    ScopedRuntimeDir();
    ~ScopedRuntimeDir();
    ScopedRuntimeDir(const ScopedRuntimeDir&) = delete;
    ScopedRuntimeDir& operator=(const ScopedRuntimeDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_;
};
