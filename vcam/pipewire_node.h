#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vcam/camera_label.h"
#include "vcam/frame_sink.h"
#include "vcam/picture_mode.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_buffer;
struct spa_hook;

// A PipeWire video source node ("Video/Source", role "Camera") that programs
// reaching cameras through PipeWire see as a camera, with no kernel module
// and no root, browsers included. It offers the channel's size and rate
// (640 x 480 at 15 pictures a second until told otherwise) as three fixed
// formats, YUY2, RGB and BGRx; the consumers' choice decides format() and,
// once they have agreed to it, size(). When the channel's size or rate
// changes, the node offers the new one in place of the old and its consumers
// renegotiate without their stream ending. Any number of consumers can be
// linked to the node; PipeWire hands each its copy. No buffer leaves the node
// without a whole picture in it.
//
// Threads: write(), size() and follow() come from the reader's thread; the
// node's own callbacks run on PipeWire's thread loop, once per cycle of
// PipeWire's graph. `pendingLock_` guards the pictures waiting for a cycle
// between the two, for the length of one copy.
class PipeWireNode : public FrameSink {
public:
    static constexpr const char* kDescription = kCameraLabel;
    static constexpr const char* kName = "lumora-vcam";

    PipeWireNode();
    ~PipeWireNode() override;
    PipeWireNode(const PipeWireNode&) = delete;
    PipeWireNode& operator=(const PipeWireNode&) = delete;

    // Whether a PipeWire daemon answers in this session, without publishing.
    static bool daemonAnswers();

    // Connects to the daemon and publishes the node; false with the reason in
    // `error` when no daemon answers.
    bool open(std::string* error);

    OutputFormat format() const override { return format_.load(); }
    // The size the consumers agreed to; the offered one before any did.
    PictureSize size() const override;
    void follow(const PictureMode& mode) override;
    bool write(const uint8_t* data, size_t size) override;
    // Each picture goes out once, in a cycle after it came: the reader may
    // poll fast (less delay) without doubling the rate consumers see.
    bool takesRepeats() const override { return false; }

private:
    struct Listener;
    // A picture waiting for a cycle of PipeWire's graph.
    struct Pending {
        std::vector<uint8_t> bytes;
        size_t size = 0;
    };
    // Two pictures may come within one cycle of the graph (its clock is not
    // the pictures'); a third would only add delay.
    static constexpr size_t kPendingDepth = 3;

    static void onProcess(void* self);
    static void onParamChanged(void* self, uint32_t id, const struct spa_pod* param);
    static void onStateChanged(void* self, int oldState, int state, const char* error);
    static void onRemoveBuffer(void* self, pw_buffer* buffer);
    void fillBuffer();
    bool takePending(size_t expected, pw_buffer* buffer);
    void stampHeader(pw_buffer* buffer);
    void offer(const PictureMode& mode);
    void makeRoomFor(PictureSize size);
    void close();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    Listener* listener_ = nullptr;
    PictureMode offered_;  // the reader's thread only
    std::atomic<OutputFormat> format_{OutputFormat::Bgrx};
    std::atomic<uint32_t> agreedSize_{0};  // width << 16 | height; 0 before consumers agreed
    std::atomic<bool> failed_{false};      // the daemon dropped the node
    std::mutex pendingLock_;               // guards pending_ between write() and the node's thread
    std::vector<Pending> pending_;         // a ring of kPendingDepth
    size_t firstPending_ = 0;
    size_t pendingCount_ = 0;
    uint64_t sequence_ = 0;
    pw_buffer* spare_ = nullptr;  // dequeued but too small to fill; node's thread only
};
