#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channel/vcam_header.h"
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
// formats, YUY2, RGB and BGRx; the consumers' choice decides format(), the
// offer decides size(). When the channel's size or rate changes, the node
// offers the new one in place of the old, once, and its consumers
// renegotiate without their stream ending; the pictures of the new size wait
// for their agreement and then go out in order, the first one included. Any
// number of consumers can be linked to the node; PipeWire hands each its
// copy. No buffer leaves the node without a whole picture in it; each
// carries the channel's number of its picture as its sequence number.
// A line on standard error names every format the consumers agree to.
//
// Threads: write(), shape() and follow() come from the reader's thread; the
// node's own callbacks run on PipeWire's thread loop, once per cycle of
// PipeWire's graph. The format agreed and the one offered are each one
// atomic value, so neither thread reads half of a change. `pendingLock_`
// guards the pictures waiting for a cycle between the two, for the length of
// one copy.
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

    OutputFormat format() const override { return shape().format; }
    PictureSize size() const override { return shape().size; }
    // The consumers' pixel format (BGRx before any chose) at the size
    // offered: a picture of a new size is made at that size at once, and
    // waits for the consumers to agree to it.
    PictureShape shape() const override;
    void follow(const PictureMode& mode) override;
    bool write(const SinkPicture& picture) override;
    // Each picture goes out once, in a cycle after it came: the reader may
    // poll fast (less delay) without doubling the rate consumers see.
    bool takesRepeats() const override { return false; }

private:
    struct Listener;
    // A picture waiting for a cycle of PipeWire's graph.
    struct Pending {
        std::unique_ptr<uint8_t[]> bytes;  // kPendingRoom of them
        size_t size = 0;
        PictureShape shape;
        uint32_t number = 0;
        bool opensSize = false;  // the first picture of a new size: never dropped for room
    };
    // Two pictures may come within one cycle of the graph (its clock is not
    // the pictures'); a third would only add delay.
    static constexpr size_t kPendingDepth = 3;
    // A waiting picture's room: the largest the channel carries, in BGRx.
    static constexpr size_t kPendingRoom = size_t{kVCamMaxWidth} * kVCamMaxHeight * 4;

    static void onProcess(void* self);
    static void onParamChanged(void* self, uint32_t id, const struct spa_pod* param);
    static void onStateChanged(void* self, int oldState, int state, const char* error);
    static void onRemoveBuffer(void* self, pw_buffer* buffer);
    void fillBuffer();
    // Drops the waiting pictures that no consumer will take; whether the
    // oldest left is one of `agreed`.
    bool firstPendingIs(const PictureShape& agreed);
    bool takePending(const PictureShape& agreed, size_t expected, pw_buffer* buffer,
                     uint32_t* number);
    void stampHeader(pw_buffer* buffer, uint32_t number);
    // Makes room in a full ring; under pendingLock_.
    void dropOneWaiting();
    void offer(const PictureMode& mode);
    void close();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    Listener* listener_ = nullptr;
    // What the node offers: the size and rate, packed (see pipewire_node.cpp);
    // written on the reader's thread, read on both.
    std::atomic<uint64_t> offered_;
    // What the consumers agreed to last: pixel format, size, rate and
    // whether it is in force, packed; written on PipeWire's thread, read on
    // both. Size 0 before any consumer agreed.
    std::atomic<uint64_t> agreed_;
    std::atomic<bool> failed_{false};  // the daemon dropped the node
    std::mutex pendingLock_;           // guards pending_ between write() and the node's thread
    std::vector<Pending> pending_;     // a ring of kPendingDepth
    size_t firstPending_ = 0;
    size_t pendingCount_ = 0;
    PictureSize lastWrittenSize_;  // under pendingLock_
    pw_buffer* spare_ = nullptr;   // dequeued but too small to fill; node's thread only
};
