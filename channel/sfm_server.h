#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// Creates and maps a named shared-memory block, read/write, for the writer of
// a channel. The block is made complete under a private name and then renamed
// into place, so a reader never sees a half-sized block, and a reader that
// still maps an older block keeps its own copy alive.
class CSFMServer {
public:
    CSFMServer() = default;
    virtual ~CSFMServer();
    CSFMServer(const CSFMServer&) = delete;
    CSFMServer& operator=(const CSFMServer&) = delete;

    // Closes what this object holds, then creates the block: a null name means
    // "_SFM_OBJ_", a size of 0 means 65,536 bytes. Success shows in view().
    void create(const char* name, uint32_t size);
    // The mapped block, zero-filled when created; null when creation failed.
    uint8_t* view() const { return view_; }
    uint32_t size() const { return size_; }
    const std::string& name() const { return name_; }
    bool created() const { return created_; }
    // errno of the step that failed, 0 after a success.
    int lastError() const { return lastError_; }
    // Unmaps the block and removes its name, unless another writer's block has
    // taken the name since.
    void close();

private:
    bool makeBlock(const std::string& path);

    uint8_t* view_ = nullptr;
    std::string name_;
    uint32_t size_ = 0;
    bool created_ = false;
    int lastError_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
