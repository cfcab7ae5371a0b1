#include "vcam/pipewire_node.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cstring>
#include <iterator>
#include <utility>

#include "channel/vcam_header.h"
#include "vcam/reader_loop.h"

struct PipeWireNode::Listener {
    spa_hook hook{};
    pw_stream_events events{};
};

namespace {
uint32_t packedSize(int width, int height) {
    return static_cast<uint32_t>(width & 0xFFFF) << 16 | static_cast<uint32_t>(height & 0xFFFF);
}

PictureSize unpackedSize(uint32_t packed) {
    return {static_cast<int>(packed >> 16), static_cast<int>(packed & 0xFFFF)};
}

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

const spa_pod* formatOffer(spa_pod_builder* builder, uint32_t videoFormat,
                           const PictureMode& mode) {
    spa_rectangle size = SPA_RECTANGLE(static_cast<uint32_t>(mode.size.width),
                                       static_cast<uint32_t>(mode.size.height));
    spa_fraction rate = SPA_FRACTION(static_cast<uint32_t>(mode.rate), 1);
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

// Every offer at `mode`, then the header metadata; the count is returned.
uint32_t buildOffers(spa_pod_builder* builder, const PictureMode& mode,
                     const spa_pod* params[kOfferCount + 1]) {
    for (uint32_t i = 0; i < kOfferCount; ++i) {
        params[i] = formatOffer(builder, kOfferedFormats[i], mode);
    }
    params[kOfferCount] = headerMeta(builder);
    return kOfferCount + 1;
}
}  // namespace

PipeWireNode::PipeWireNode()
    : offered_{{ReaderLoop::kWidth, ReaderLoop::kHeight}, kVCamStandardRate},
      pending_(kPendingDepth) {
    makeRoomFor(offered_.size);
}

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
    uint32_t count = buildOffers(&builder, offered_, params);
    int result =
        pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_MAP_BUFFERS), params, count);
    pw_thread_loop_unlock(loop_);
    if (result < 0) {
        *error = std::string("PipeWire refused the node: ") + std::strerror(-result);
        close();
        return false;
    }
    return true;
}

PictureSize PipeWireNode::size() const {
    uint32_t agreed = agreedSize_.load();
    return agreed != 0 ? unpackedSize(agreed) : offered_.size;
}

// The new offers replace the old ones; PipeWire then renegotiates the links,
// and onParamChanged learns the consumers' answer. Until then size() stays
// the agreed one and the reader scales to it, so consumers see no gap.
void PipeWireNode::follow(const PictureMode& mode) {
    if (mode == offered_ || mode.size.width <= 0 || mode.size.height <= 0 || mode.rate <= 0) {
        return;
    }
    makeRoomFor(mode.size);
    offered_ = mode;
    if (stream_ != nullptr) {
        offer(mode);
    }
}

void PipeWireNode::offer(const PictureMode& mode) {
    uint8_t space[2048];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[kOfferCount + 1];
    pw_thread_loop_lock(loop_);
    uint32_t count = buildOffers(&builder, mode, params);
    pw_stream_update_params(stream_, params, count);
    pw_thread_loop_unlock(loop_);
}

// Waiting pictures are as large as the largest size offered so far, in the
// largest format; made on the reader's thread, outside the lock, once per
// larger size.
void PipeWireNode::makeRoomFor(PictureSize size) {
    size_t needed = outputFrameSize(OutputFormat::Bgrx, size.width, size.height);
    if (pending_.front().bytes.size() >= needed) {
        return;
    }
    std::vector<Pending> larger(kPendingDepth);
    for (auto& slot : larger) {
        slot.bytes.resize(needed);
    }
    std::lock_guard<std::mutex> guard(pendingLock_);
    pending_.swap(larger);
    firstPending_ = 0;
    pendingCount_ = 0;
}

bool PipeWireNode::write(const uint8_t* data, size_t size) {
    if (stream_ == nullptr || failed_.load()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(pendingLock_);
    if (size > pending_.front().bytes.size()) {
        return true;  // not a picture of ours
    }
    if (pendingCount_ == kPendingDepth) {  // PipeWire fell behind: the oldest goes
        firstPending_ = (firstPending_ + 1) % kPendingDepth;
        --pendingCount_;
    }
    Pending& slot = pending_[(firstPending_ + pendingCount_) % kPendingDepth];
    std::memcpy(slot.bytes.data(), data, size);
    slot.size = size;
    ++pendingCount_;
    return true;
}

// On PipeWire's thread, once a cycle of the graph: the oldest waiting
// picture into a free buffer of the node. The node does not drive the graph
// itself: triggering cycles at the picture rate lost a picture now and then
// when a consumer was still busy with the last one.
void PipeWireNode::onProcess(void* self) { static_cast<PipeWireNode*>(self)->fillBuffer(); }

void PipeWireNode::fillBuffer() {
    PictureSize agreed = unpackedSize(agreedSize_.load());
    OutputFormat format = format_.load();
    size_t expected = outputFrameSize(format, agreed.width, agreed.height);
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        // Pictures made for the format or size agreed before go; a buffer
        // queued without a picture crashes some consumers, so none is taken
        // while none waits.
        while (pendingCount_ > 0 && pending_[firstPending_].size != expected) {
            firstPending_ = (firstPending_ + 1) % kPendingDepth;
            --pendingCount_;
        }
        if (pendingCount_ == 0 || expected == 0) {
            return;
        }
    }
    pw_buffer* buffer =
        spare_ != nullptr ? std::exchange(spare_, nullptr) : pw_stream_dequeue_buffer(stream_);
    if (buffer == nullptr) {
        return;  // every buffer is with a consumer: the picture waits a cycle
    }
    spa_data& plane = buffer->buffer->datas[0];
    if (plane.data == nullptr || plane.maxsize < expected || !takePending(expected, buffer)) {
        spare_ = buffer;  // not yet sized for the new format: kept, never sent empty
        return;
    }
    plane.chunk->offset = 0;
    plane.chunk->size = static_cast<uint32_t>(expected);
    plane.chunk->stride = static_cast<int32_t>(outputFrameSize(format, agreed.width, 1));
    stampHeader(buffer);
    pw_stream_queue_buffer(stream_, buffer);
}

// Copies the oldest waiting picture into the buffer; false when it is no
// longer of the expected size.
bool PipeWireNode::takePending(size_t expected, pw_buffer* buffer) {
    std::lock_guard<std::mutex> guard(pendingLock_);
    if (pendingCount_ == 0 || pending_[firstPending_].size != expected) {
        return false;
    }
    std::memcpy(buffer->buffer->datas[0].data, pending_[firstPending_].bytes.data(), expected);
    firstPending_ = (firstPending_ + 1) % kPendingDepth;
    --pendingCount_;
    return true;
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
    if (id != SPA_PARAM_Format) {
        return;
    }
    if (param == nullptr) {  // no consumer any more: the next one agrees anew
        node->agreedSize_.store(0);
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    OutputFormat format = outputFormatOf(info.format);
    auto width = static_cast<int>(info.size.width);
    auto height = static_cast<int>(info.size.height);
    node->format_.store(format);
    node->agreedSize_.store(packedSize(width, height));
    auto stride = static_cast<int32_t>(outputFrameSize(format, width, 1));
    uint8_t space[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * height), SPA_PARAM_BUFFERS_stride,
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
