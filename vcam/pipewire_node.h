#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vcam/camera_label.h"
#include "vcam/frame_sink.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_buffer;
struct spa_hook;

// A PipeWire video source node ("Video/Source", role "Camera") that programs
// reaching cameras through PipeWire see as a camera, with no kernel module
// and no root, browsers included. It offers 640 x 480 at 15 pictures a
// second as three fixed formats, YUY2, RGB and BGRx; the consumers' choice
// decides format(). Any number of consumers can be linked to the node;
// PipeWire hands each its copy. No buffer leaves the node without a whole
// picture in it.
//
// Threads: write() comes from the reader's thread; the node's own callbacks
// run on PipeWire's thread loop, once per cycle of PipeWire's graph.
// `latestLock_` guards the latest picture between the two, for the length of
// one copy.
class PipeWireNode : public FrameSink {
public:
    static constexpr int kRate = 15;
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
    bool write(const uint8_t* data, size_t size) override;
    // Each picture goes out once, in the cycle after it came: the reader may
    // poll fast (less delay) without doubling the rate consumers see.
    bool takesRepeats() const override { return false; }

private:
    struct Listener;
    static void onProcess(void* self);
    static void onParamChanged(void* self, uint32_t id, const struct spa_pod* param);
    static void onStateChanged(void* self, int oldState, int state, const char* error);
    static void onRemoveBuffer(void* self, pw_buffer* buffer);
    void fillBuffer();
    void stampHeader(pw_buffer* buffer);
    void close();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    Listener* listener_ = nullptr;
    std::atomic<OutputFormat> format_{OutputFormat::Bgrx};
    std::atomic<bool> failed_{false};  // the daemon dropped the node
    std::mutex latestLock_;            // guards latest_ between write() and the node's thread
    std::vector<uint8_t> latest_;
    size_t latestSize_ = 0;
    bool latestFresh_ = false;  // latest_ has not been handed to PipeWire yet
    uint64_t sequence_ = 0;
    pw_buffer* spare_ = nullptr;  // dequeued but too small to fill; node's thread only
};
