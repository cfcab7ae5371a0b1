#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "channel/named_mutex.h"
#include "channel/sfm_client.h"
#include "channel/vcam_header.h"

// The reader of the virtual camera channel, for the program that feeds the
// camera device. For each picture call poll(), then acquireFrame(), then
// release(). With no writer it retries on the first poll and then on every
// fifth, silently; after 50 reads in a row that repeat the sequence number of
// the read before, it closes everything and starts over; it does so after
// three when a new writer has meanwhile put a new block in place. A block put
// in place of the open one (the writer's picture changed size) is reopened on
// the next poll.
//
// Threads: one thread uses a reader; it has no lock of its own.
class VCamReader {
public:
    VCamReader();
    ~VCamReader();
    VCamReader(const VCamReader&) = delete;
    VCamReader& operator=(const VCamReader&) = delete;

    // Opens the mutex and block when needed (also when a new block has taken
    // the open one's place), then waits at most 1000 ms for the mutex.
    void poll();
    // The frame bytes inside the block, valid until release(); null when the
    // block is not open, holds no picture yet or its header promises more
    // bytes than it holds.
    const uint8_t* acquireFrame(int* width, int* height, uint32_t* imageSize);
    // Gives the mutex back; closes everything after a long run of unchanged
    // frames.
    void release();

    bool isOpen() const { return mutex_.isOpen(); }
    const VCamHeader& header() const { return header_; }
    // The rate the last acquired header announces, in pictures a second.
    int frameRate() const { return vcamFrameRate(header_); }
    int unchangedCount() const { return unchangedCount_; }

private:
    bool openChannel();
    void closeAll();

    NamedMutex mutex_;
    std::unique_ptr<CSFMClient> client_;
    int32_t attempts_ = 0;
    bool locked_ = false;
    VCamHeader header_;
    int unchangedCount_ = 0;
    uint32_t lastSequence_ = 0;
};
