#pragma once

// The one reader of the virtual camera channel per user: lumora-vcam holds
// this lock (an flock on a file beside the channel) for as long as it feeds
// cameras, whether the user's service manager started it or the program
// did. The program starts no reader of its own while the lock is held, and a
// second reader steps aside. The kernel drops the lock when its holder dies.
class ReaderLock {
public:
    ReaderLock() = default;
    ~ReaderLock();
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

    // Takes the lock; false when another process holds it or the file
    // cannot be made.
    bool take();
    bool held() const { return fd_ >= 0; }

    // Whether some process holds the lock now (this one's own lock counts).
    static bool heldByAnyone();

private:
    int fd_ = -1;
};
