#pragma once

#include <gst/gst.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "libs/recorder/encoded_target.h"

// An FLV file of H.264 pictures and AAC sound written straight from an
// encoder's output, without a muxing pipeline and its threads: each picture
// and block of sound becomes a tag in a buffer reserved at open, and the
// writer's own thread takes what has gathered to the file every 250 ms, or
// sooner once 64 KiB wait. A process that dies mid-file so loses at most
// that much, and repairFlvTail cuts off a tag it left unfinished.
//
// A disk that stalls holds up the writer's thread only: what does not fit
// in the buffer is left out (pictures up to the next key frame), and
// finishing gives up waiting for the disk after its limit.
//
// Threads: open and finish from one control thread; push from one picture
// thread and one sound thread at once; the counters from any thread. The
// buffers live in a block shared with the writing thread (so that a thread
// left behind by a stalled disk still has them); its lock guards them, their
// counts and the codec headers written, between the pushing threads and the
// writing thread.
class FlvFileWriter final : public EncodedTarget {
public:
    // `mostBytes`: how much may gather while a write is under way (as much
    // again may be on its way to the disk).
    explicit FlvFileWriter(size_t mostBytes);
    // Finishes without waiting.
    ~FlvFileWriter() override;
    FlvFileWriter(const FlvFileWriter&) = delete;
    FlvFileWriter& operator=(const FlvFileWriter&) = delete;

    // Creates the file (UTF-8 path) with its header, for pictures and, with
    // `sound`, sound; false when it cannot be written.
    bool open(const std::string& path, bool sound);

    // onMetaData with the pictures' size and rate, which players read before
    // the first picture; given before any picture.
    void describe(int width, int height, int frameRate);

    bool hasSound() const override { return sound_; }
    // Pictures need caps with the avcC record as codec_data (stream-format
    // avc, alignment au), sound caps with the AudioSpecificConfig (AAC raw).
    void push(bool video, GstBuffer* buffer, GstCaps* caps) override;
    // What was given goes to the file, which is then closed.
    void end() override;
    uint64_t videoBytesWaiting() const override;
    uint64_t soundBytesWaiting() const override;

    // end(), and waits at most `limit` for the file to be closed. True when
    // everything given is in it; a writing thread still held up by the disk
    // is left to finish alone.
    bool finish(std::chrono::milliseconds limit);
    // Pictures that did not fit while the disk was behind; whether a write
    // failed (after which everything is left out).
    uint64_t picturesLeftOut() const;
    bool failed() const;

private:
    struct Shared;
    static void writeOut(std::shared_ptr<Shared> shared);
    // With the shared lock held: the tags that announce `caps`, when they
    // differ from the ones written last.
    bool announcePictures(GstCaps* caps, uint32_t ms);
    bool announceSound(GstCaps* caps, uint32_t ms);
    // With the shared lock held: a tag for the picture or the block of
    // sound, or (a picture) left out, when the file is not `open`, when it
    // does not fit or until a key frame after one that was left out.
    void addPicture(bool open, bool key, GstCaps* caps, uint32_t ms, const uint8_t* data,
                    size_t size);
    void addSound(GstCaps* caps, uint32_t ms, const uint8_t* data, size_t size);

    size_t mostBytes_;
    bool sound_ = false;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
