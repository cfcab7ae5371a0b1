#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

// Kinds of source, as the graph and its effects see them.
constexpr int32_t SOURCE_TYPE_PICTURE = 0;  // the still placeholder and the slideshow
constexpr int32_t SOURCE_TYPE_CAMERA = 1;
constexpr int32_t SOURCE_TYPE_VIDEO_FILE = 2;

// Something that produces pictures. A library delivers frames on its own
// thread through PushFrame; the graph's worker copies the latest one out with
// CopyFrameIfValid. Only the latest frame survives.
//
// Threads: Start, Stop and SetFrameSize come from the user-interface thread;
// PushFrame and SetFrameValid from a library's delivery thread; the frame
// accessors from any thread. The frame fields are guarded by one lock that is
// never held while another lock is taken.
class VideoSource {
public:
    VideoSource();
    virtual ~VideoSource();
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    // 0 means the source runs; any other value is a failure code.
    virtual int32_t Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsRunning() = 0;

    // Reallocates the frame buffer for a new size (frame no longer valid);
    // the same size keeps the buffer and its frame.
    virtual void SetFrameSize(int32_t width, int32_t height);
    // The rate the graph takes pictures at, told before a change of size; a
    // source whose device offers several rates may open it for this one.
    virtual void SetFrameRate(int32_t) {}
    // Copies at most the buffer's size from data; a null pointer is ignored.
    virtual void PushFrame(const uint8_t* data, size_t size);
    virtual void SetFrameValid(bool valid);

    int32_t TypeId() const { return typeId_; }
    int32_t Width() const;
    int32_t Height() const;
    uint32_t FrameSize() const;
    bool FrameValid() const;

    // When a frame is valid, copies it (at most `capacity` bytes) into dest and
    // returns true; otherwise leaves dest alone and returns false.
    bool CopyFrameIfValid(uint8_t* dest, size_t capacity) const;

    // When a frame is valid, calls reader(context, frame, frameSize, width,
    // height) under the source's lock and returns true. The reader must be
    // quick and must not take any other lock.
    using FrameReader = void (*)(void* context, const uint8_t* frame, uint32_t frameSize,
                                 int32_t width, int32_t height);
    bool ReadFrame(FrameReader reader, void* context) const;

protected:
    int32_t typeId_ = SOURCE_TYPE_PICTURE;  // derived constructors overwrite it

private:
    mutable std::mutex lock_;  // guards the frame fields below
    int32_t width_;
    int32_t height_;
    std::unique_ptr<uint8_t[]> frameData_;
    uint32_t frameSize_;
    bool frameValid_ = false;
};
