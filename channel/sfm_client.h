#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

// Opens an existing named shared-memory block read-only and maps all of it,
// for the reader of a channel. Only a block that is a private file of this
// user (mode 0600) is opened. The mapping stays valid after the writer removes
// the block's name.
class CSFMClient {
public:
    CSFMClient() = default;
    virtual ~CSFMClient();
    CSFMClient(const CSFMClient&) = delete;
    CSFMClient& operator=(const CSFMClient&) = delete;

    // Closes what is held, then opens the block (null name: "_SFM_OBJ_").
    // Success shows in view().
    void open(const char* name);
    const uint8_t* view() const { return view_; }
    // Bytes mapped; every read of the block stays below this.
    size_t size() const { return size_; }
    bool opened() const { return opened_; }
    // errno of the step that failed: ENOENT when there is no such block,
    // EACCES when the file is not a private one of ours.
    int lastError() const { return lastError_; }
    void close();
    // Whether the block's name now leads to another file, or to none: a new
    // writer has put a new block in place of the one mapped here.
    bool replaced() const;
    // Whether the name leads to another file: a writer has put a new block,
    // for a picture of another size say, in place of the one mapped here.
    // One lstat and no allocation, so a reader may ask on every poll.
    bool renewed() const;

private:
    const uint8_t* view_ = nullptr;
    std::string name_;
    std::string path_;  // made once on open, so the checks above allocate nothing
    size_t size_ = 0;
    bool opened_ = false;
    int lastError_ = 0;
    dev_t device_ = 0;  // the mapped file, to tell a replaced block
    ino_t inode_ = 0;
};
