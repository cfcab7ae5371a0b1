#include "vcam/pipewire_node.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include "channel/vcam_header.h"
#include "vcam/reader_loop.h"

struct PipeWireNode::Listener {
    spa_hook hook{};
    pw_stream_events events{};
};

namespace {
// A format of the node: pixel format, size and rate, and for the format the
// consumers agreed to, whether it is in force (consumers are linked and no
// renegotiation is under way).
struct NodeFormat {
    OutputFormat format = OutputFormat::Bgrx;
    PictureMode mode;
    bool inForce = false;
};

// A NodeFormat as one 64-bit value, so that one atomic holds all of it:
// width, height and rate in 16 bits each from the top, then whether it is
// in force and the pixel format in 8 bits each.
uint64_t packed(const NodeFormat& format) {
    auto field = [](int value, int shift) {
        return static_cast<uint64_t>(static_cast<uint16_t>(value)) << shift;
    };
    return field(format.mode.size.width, 48) | field(format.mode.size.height, 32) |
           field(format.mode.rate, 16) | field(format.inForce ? 1 : 0, 8) |
           static_cast<uint8_t>(format.format);
}

NodeFormat unpacked(uint64_t value) {
    auto field = [value](int shift) { return static_cast<int>(value >> shift & 0xFFFF); };
    return {static_cast<OutputFormat>(value & 0xFF),
            {{field(48), field(32)}, field(16)},
            (value >> 8 & 1) != 0};
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
    : offered_(packed(
          {OutputFormat::Bgrx, {{ReaderLoop::kWidth, ReaderLoop::kHeight}, kVCamStandardRate}})),
      agreed_(packed({})),
      pending_(kPendingDepth) {
    // Room for the largest picture in the largest format, made once: a change
    // of size then waits for no allocation and drops no waiting picture.
    // Pages are only taken up as a larger size is used.
    for (auto& slot : pending_) {
        slot.bytes = std::make_unique_for_overwrite<uint8_t[]>(kPendingRoom);
    }
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
    uint32_t count = buildOffers(&builder, unpacked(offered_.load()).mode, params);
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

PictureShape PipeWireNode::shape() const {
    return {unpacked(agreed_.load()).format, unpacked(offered_.load()).mode.size};
}

// The new offers replace the old ones, in one update, so the consumers
// renegotiate once; onParamChanged learns their answer. The pictures made
// for the new size meanwhile wait for it (see firstPendingIs).
void PipeWireNode::follow(const PictureMode& mode) {
    if (mode == unpacked(offered_.load()).mode || mode.size.width <= 0 || mode.size.height <= 0 ||
        mode.rate <= 0) {
        return;
    }
    offered_.store(packed({OutputFormat::Bgrx, mode}));
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

bool PipeWireNode::write(const SinkPicture& picture) {
    if (stream_ == nullptr || failed_.load()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(pendingLock_);
    if (picture.size > kPendingRoom) {
        return true;  // not a picture of ours
    }
    if (pendingCount_ == kPendingDepth) {
        dropOneWaiting();
    }
    Pending& slot = pending_[(firstPending_ + pendingCount_) % kPendingDepth];
    std::memcpy(slot.bytes.get(), picture.bytes, picture.size);
    slot.size = picture.size;
    slot.shape = picture.shape;
    slot.number = picture.number;
    // Only once consumers take the node: a picture kept while nobody does
    // would reach the next consumer stale.
    slot.opensSize =
        picture.shape.size != lastWrittenSize_ && unpacked(agreed_.load()).mode.size.width != 0;
    lastWrittenSize_ = picture.shape.size;
    ++pendingCount_;
    return true;
}

// PipeWire fell behind, or its consumers are agreeing to a new size: the
// oldest waiting picture goes, unless it is the first of a new size, which
// the one after it makes way for.
void PipeWireNode::dropOneWaiting() {
    size_t oldest = firstPending_;
    size_t next = (firstPending_ + 1) % kPendingDepth;
    if (pending_[oldest].opensSize) {
        std::swap(pending_[oldest], pending_[next]);
    }
    firstPending_ = next;
    --pendingCount_;
}

// On PipeWire's thread, once a cycle of the graph: the oldest waiting
// picture into a free buffer of the node. The node does not drive the graph
// itself: triggering cycles at the picture rate lost a picture now and then
// when a consumer was still busy with the last one.
void PipeWireNode::onProcess(void* self) { static_cast<PipeWireNode*>(self)->fillBuffer(); }

void PipeWireNode::fillBuffer() {
    NodeFormat agreed = unpacked(agreed_.load());
    PictureShape shape{agreed.format, agreed.mode.size};
    if (!agreed.inForce || !firstPendingIs(shape)) {
        return;
    }
    size_t expected = outputFrameSize(shape.format, shape.size.width, shape.size.height);
    pw_buffer* buffer =
        spare_ != nullptr ? std::exchange(spare_, nullptr) : pw_stream_dequeue_buffer(stream_);
    if (buffer == nullptr) {
        return;  // every buffer is with a consumer: the picture waits a cycle
    }
    spa_data& plane = buffer->buffer->datas[0];
    uint32_t number = 0;
    if (plane.data == nullptr || plane.maxsize < expected ||
        !takePending(shape, expected, buffer, &number)) {
        spare_ = buffer;  // not yet sized for the new format: kept, never sent empty
        return;
    }
    plane.chunk->offset = 0;
    plane.chunk->size = static_cast<uint32_t>(expected);
    plane.chunk->stride = static_cast<int32_t>(outputFrameSize(shape.format, shape.size.width, 1));
    stampHeader(buffer, number);
    pw_stream_queue_buffer(stream_, buffer);
}

// Pictures made for a format or size agreed before go; those made for the
// size offered wait while the consumers agree to it, so none is lost to the
// change. A buffer queued without a picture crashes some consumers, so none
// is taken while none waits.
bool PipeWireNode::firstPendingIs(const PictureShape& agreed) {
    PictureShape offered{agreed.format, unpacked(offered_.load()).mode.size};
    std::lock_guard<std::mutex> guard(pendingLock_);
    while (pendingCount_ > 0 && pending_[firstPending_].shape != agreed &&
           pending_[firstPending_].shape != offered) {
        firstPending_ = (firstPending_ + 1) % kPendingDepth;
        --pendingCount_;
    }
    return pendingCount_ > 0 && pending_[firstPending_].shape == agreed;
}

// Copies the oldest waiting picture into the buffer; false when it is no
// longer one of the format agreed.
bool PipeWireNode::takePending(const PictureShape& agreed, size_t expected, pw_buffer* buffer,
                               uint32_t* number) {
    std::lock_guard<std::mutex> guard(pendingLock_);
    if (pendingCount_ == 0 || pending_[firstPending_].shape != agreed ||
        pending_[firstPending_].size != expected) {
        return false;
    }
    std::memcpy(buffer->buffer->datas[0].data, pending_[firstPending_].bytes.get(), expected);
    *number = pending_[firstPending_].number;
    firstPending_ = (firstPending_ + 1) % kPendingDepth;
    --pendingCount_;
    return true;
}

// The sequence number is the channel's number of the picture: a consumer
// sees a repeat and a missed picture for what they are.
void PipeWireNode::stampHeader(pw_buffer* buffer, uint32_t number) {
    auto* header = static_cast<spa_meta_header*>(
        spa_buffer_find_meta_data(buffer->buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header != nullptr) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        header->pts = SPA_TIMESPEC_TO_NSEC(&now);
        header->flags = 0;
        header->seq = number;
        header->dts_offset = 0;
    }
}

void PipeWireNode::onParamChanged(void* self, uint32_t id, const spa_pod* param) {
    auto* node = static_cast<PipeWireNode*>(self);
    if (id != SPA_PARAM_Format) {
        return;
    }
    if (param == nullptr) {
        // No consumer any more, or a renegotiation under way: the next
        // agreement sets the format. The last one stays known, so the
        // pictures of a size offered since go on waiting for it.
        NodeFormat last = unpacked(node->agreed_.load());
        last.inForce = false;
        node->agreed_.store(packed(last));
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    OutputFormat format = outputFormatOf(info.format);
    auto width = static_cast<int>(info.size.width);
    auto height = static_cast<int>(info.size.height);
    int rate =
        info.framerate.denom > 0 ? static_cast<int>(info.framerate.num / info.framerate.denom) : 0;
    node->agreed_.store(packed({format, {{width, height}, rate}, true}));
    std::fprintf(stderr, "lumora-vcam: PipeWire consumers take %s %dx%d at %d a second\n",
                 outputFormatName(format), width, height, rate);
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
