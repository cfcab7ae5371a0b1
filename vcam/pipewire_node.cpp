#include "vcam/pipewire_node.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cstring>
#include <iterator>
#include <utility>

#include "vcam/reader_loop.h"

struct PipeWireNode::Listener {
    spa_hook hook{};
    pw_stream_events events{};
};

namespace {
constexpr int kWidth = ReaderLoop::kWidth;
constexpr int kHeight = ReaderLoop::kHeight;

void initOnce() {
    static bool done = [] {
        pw_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

OutputFormat outputFormatOf(uint32_t videoFormat) {
    switch (videoFormat) {
        case SPA_VIDEO_FORMAT_RGB:
            return OutputFormat::Rgb24;
        case SPA_VIDEO_FORMAT_YUY2:
            return OutputFormat::Yuyv;
        default:
            return OutputFormat::Bgrx;
    }
}

// One offer per pixel format, each with its size and rate fixed: browsers
// skip every offer whose format or size is a choice and take no BGRx, so
// YUY2 leads, RGB follows and BGRx (a straight copy of the picture) is left
// for the consumers that ask for it by name.
constexpr uint32_t kOfferedFormats[] = {SPA_VIDEO_FORMAT_YUY2, SPA_VIDEO_FORMAT_RGB,
                                        SPA_VIDEO_FORMAT_BGRx};
constexpr uint32_t kOfferCount = std::size(kOfferedFormats);

const spa_pod* formatOffer(spa_pod_builder* builder, uint32_t videoFormat) {
    spa_rectangle size = SPA_RECTANGLE(kWidth, kHeight);
    spa_fraction rate = SPA_FRACTION(PipeWireNode::kRate, 1);
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(videoFormat),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&rate)));
}

// The header metadata fillBuffer() stamps on every buffer (time and sequence).
const spa_pod* headerMeta(spa_pod_builder* builder) {
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
        SPA_POD_Int(static_cast<int32_t>(sizeof(spa_meta_header)))));
}
}  // namespace

PipeWireNode::PipeWireNode() : latest_(outputFrameSize(OutputFormat::Bgrx, kWidth, kHeight)) {}

PipeWireNode::~PipeWireNode() { close(); }

bool PipeWireNode::daemonAnswers() {
    initOnce();
    pw_main_loop* loop = pw_main_loop_new(nullptr);
    if (loop == nullptr) {
        return false;
    }
    pw_context* context = pw_context_new(pw_main_loop_get_loop(loop), nullptr, 0);
    pw_core* core = context != nullptr ? pw_context_connect(context, nullptr, 0) : nullptr;
    bool answers = core != nullptr;
    if (core != nullptr) {
        pw_core_disconnect(core);
    }
    if (context != nullptr) {
        pw_context_destroy(context);
    }
    pw_main_loop_destroy(loop);
    return answers;
}

bool PipeWireNode::open(std::string* error) {
    initOnce();
    loop_ = pw_thread_loop_new("lumora-vcam", nullptr);
    if (loop_ == nullptr || pw_thread_loop_start(loop_) != 0) {
        *error = "cannot start PipeWire's thread";
        close();
        return false;
    }
    pw_thread_loop_lock(loop_);
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    core_ = context_ != nullptr ? pw_context_connect(context_, nullptr, 0) : nullptr;
    if (core_ == nullptr) {
        pw_thread_loop_unlock(loop_);
        *error = "no PipeWire daemon answers";
        close();
        return false;
    }
    stream_ = pw_stream_new(
        core_, kName,
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_ROLE, "Camera",
                          PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_NODE_NAME, kName, PW_KEY_NODE_DESCRIPTION, kDescription, nullptr));
    listener_ = new Listener;
    listener_->events.version = PW_VERSION_STREAM_EVENTS;
    listener_->events.process = &PipeWireNode::onProcess;
    listener_->events.param_changed = &PipeWireNode::onParamChanged;
    listener_->events.remove_buffer = &PipeWireNode::onRemoveBuffer;
    listener_->events.state_changed = [](void* self, pw_stream_state old, pw_stream_state state,
                                         const char* why) {
        onStateChanged(self, old, state, why);
    };
    pw_stream_add_listener(stream_, &listener_->hook, &listener_->events, this);
    uint8_t space[2048];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[kOfferCount + 1];
    for (uint32_t i = 0; i < kOfferCount; ++i) {
        params[i] = formatOffer(&builder, kOfferedFormats[i]);
    }
    params[kOfferCount] = headerMeta(&builder);
    int result = pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                                   static_cast<pw_stream_flags>(PW_STREAM_FLAG_MAP_BUFFERS), params,
                                   kOfferCount + 1);
    pw_thread_loop_unlock(loop_);
    if (result < 0) {
        *error = std::string("PipeWire refused the node: ") + std::strerror(-result);
        close();
        return false;
    }
    return true;
}

bool PipeWireNode::write(const uint8_t* data, size_t size) {
    if (stream_ == nullptr || failed_.load()) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(latestLock_);
        if (size > latest_.size()) {
            return true;  // not a picture of ours
        }
        std::memcpy(latest_.data(), data, size);
        latestSize_ = size;
        latestFresh_ = true;
    }
    return true;
}

// On PipeWire's thread, once a cycle of the graph: the newest picture, when
// there is one not yet handed over, into a free buffer of the node. The node
// does not drive the graph itself: triggering cycles at the picture rate lost
// a picture now and then when a consumer was still busy with the last one.
void PipeWireNode::onProcess(void* self) { static_cast<PipeWireNode*>(self)->fillBuffer(); }

void PipeWireNode::fillBuffer() {
    size_t expected = outputFrameSize(format_.load(), kWidth, kHeight);
    {
        std::lock_guard<std::mutex> guard(latestLock_);
        // Nothing new, or the newest picture is still in the format chosen
        // before: a buffer queued without a picture crashes some consumers,
        // so none is taken this cycle.
        if (!latestFresh_ || latestSize_ != expected) {
            return;
        }
    }
    pw_buffer* buffer =
        spare_ != nullptr ? std::exchange(spare_, nullptr) : pw_stream_dequeue_buffer(stream_);
    if (buffer == nullptr) {
        return;  // every buffer is with a consumer: this picture is skipped
    }
    spa_data& plane = buffer->buffer->datas[0];
    if (plane.data == nullptr || plane.maxsize < expected) {
        spare_ = buffer;  // not yet sized for the new format: kept, never sent empty
        return;
    }
    {
        std::lock_guard<std::mutex> guard(latestLock_);
        std::memcpy(plane.data, latest_.data(), expected);
        latestFresh_ = false;
    }
    plane.chunk->offset = 0;
    plane.chunk->size = static_cast<uint32_t>(expected);
    plane.chunk->stride = static_cast<int32_t>(outputFrameSize(format_.load(), kWidth, 1));
    stampHeader(buffer);
    pw_stream_queue_buffer(stream_, buffer);
}

void PipeWireNode::stampHeader(pw_buffer* buffer) {
    auto* header = static_cast<spa_meta_header*>(
        spa_buffer_find_meta_data(buffer->buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header != nullptr) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        header->pts = SPA_TIMESPEC_TO_NSEC(&now);
        header->flags = 0;
        header->seq = sequence_++;
        header->dts_offset = 0;
    }
}

void PipeWireNode::onParamChanged(void* self, uint32_t id, const spa_pod* param) {
    auto* node = static_cast<PipeWireNode*>(self);
    if (param == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    OutputFormat format = outputFormatOf(info.format);
    node->format_.store(format);
    auto stride = static_cast<int32_t>(outputFrameSize(format, kWidth, 1));
    uint8_t space[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * kHeight), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(stride), SPA_PARAM_BUFFERS_align, SPA_POD_Int(16)));
    params[1] = headerMeta(&builder);
    pw_stream_update_params(node->stream_, params, 2);
}

// Buffers go when a consumer renegotiates; a kept one must not outlive them.
void PipeWireNode::onRemoveBuffer(void* self, pw_buffer* buffer) {
    auto* node = static_cast<PipeWireNode*>(self);
    if (node->spare_ == buffer) {
        node->spare_ = nullptr;
    }
}

void PipeWireNode::onStateChanged(void* self, int, int state, const char*) {
    auto* node = static_cast<PipeWireNode*>(self);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        node->failed_.store(true);
    }
}

void PipeWireNode::close() {
    if (loop_ != nullptr) {
        pw_thread_loop_lock(loop_);
    }
    if (stream_ != nullptr) {
        pw_stream_destroy(stream_);
        stream_ = nullptr;
    }
    if (core_ != nullptr) {
        pw_core_disconnect(core_);
        core_ = nullptr;
    }
    if (loop_ != nullptr) {
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
    }
    if (context_ != nullptr) {
        pw_context_destroy(context_);
        context_ = nullptr;
    }
    if (loop_ != nullptr) {
        pw_thread_loop_destroy(loop_);
        loop_ = nullptr;
    }
    delete listener_;
    listener_ = nullptr;
}
