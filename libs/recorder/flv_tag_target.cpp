#include "libs/recorder/flv_appsrc_target.h"

#include <gst/app/gstappsrc.h>

#include <initializer_list>
#include <vector>

#include "libs/recorder/codec_data.h"
#include "libs/recorder/flv_layout.h"
#include "libs/recorder/flv_tags.h"

namespace {
// A buffer holding one tag of pictures or sound at `time` around `data`.
GstBuffer* tagBuffer(bool picture, GstClockTime time, bool key, flv::Payload payload,
                     const uint8_t* data, size_t size) {
    const size_t bytes = picture ? flv::pictureTagBytes(size) : flv::soundTagBytes(size);
    GstBuffer* tag = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    GstMapInfo map;
    if (tag == nullptr || !gst_buffer_map(tag, &map, GST_MAP_WRITE)) {
        if (tag != nullptr) {
            gst_buffer_unref(tag);
        }
        return nullptr;
    }
    const uint32_t ms = flv::milliseconds(time);
    if (picture) {
        flv::writePicture(map.data, ms, key, payload, data, size);
    } else {
        flv::writeSound(map.data, ms, payload, data, size);
    }
    gst_buffer_unmap(tag, &map);
    GST_BUFFER_PTS(tag) = time;
    GST_BUFFER_DTS(tag) = time;
    return tag;
}
}  // namespace

GstBuffer* FlvAppSrcTarget::Held::take() {
    GstBuffer* tag = tags[first];
    first = (first + 1) % kMostHeld;
    --count;
    return tag;
}

bool FlvAppSrcTarget::Held::full() const {
    return count + 2 > kMostHeld ||  // room for a sequence header and its tag
           GST_BUFFER_PTS(back()) - GST_BUFFER_PTS(front()) >= kMostHeldTime;
}

FlvAppSrcTarget::FlvAppSrcTarget(GstElement* pipeline, const Stream& stream)
    : source_(gst_bin_get_by_name(GST_BIN(pipeline), "flv")), sound_(stream.sound) {
    if (source_ == nullptr) {
        return;
    }
    GstCaps* caps = gst_caps_new_empty_simple("video/x-flv");
    gst_app_src_set_caps(GST_APP_SRC(source_), caps);
    gst_caps_unref(caps);
    g_object_set(source_, "max-bytes", G_GUINT64_CONSTANT(0), "block", FALSE, nullptr);
    sourcePad_ = gst_element_get_static_pad(source_, "src");
    probe_ = gst_pad_add_probe(sourcePad_, GST_PAD_PROBE_TYPE_BUFFER, &FlvAppSrcTarget::noteLeft,
                               this, nullptr);
    std::vector<uint8_t> opening;
    opening.reserve(512);
    flv::appendHeader(opening, sound_);
    const size_t headerBytes = opening.size();
    flv::appendMetadata(opening, stream.width, stream.height, stream.frameRate, sound_);
    // The header and the script tag in buffers of their own: the sink takes
    // one tag a buffer.
    for (GstBuffer* part :
         {gst_buffer_new_memdup(opening.data(), headerBytes),
          gst_buffer_new_memdup(opening.data() + headerBytes, opening.size() - headerBytes)}) {
        GST_BUFFER_PTS(part) = 0;
        GST_BUFFER_DTS(part) = 0;
        waiting_[kPictures] += gst_buffer_get_size(part);
        send(part);
    }
}

FlvAppSrcTarget::~FlvAppSrcTarget() {
    for (Held& held : held_) {
        while (held.count > 0) {
            gst_buffer_unref(held.take());
        }
    }
    for (GstCaps* caps : announced_) {
        if (caps != nullptr) {
            gst_caps_unref(caps);
        }
    }
    if (sourcePad_ != nullptr) {
        gst_pad_remove_probe(sourcePad_, probe_);
        gst_object_unref(sourcePad_);
    }
    if (source_ != nullptr) {
        gst_object_unref(source_);
    }
}

void FlvAppSrcTarget::push(bool video, GstBuffer* buffer, GstCaps* caps) {
    const Kind kind = video ? kPictures : kSound;
    GstBuffer* header = nullptr;
    GstBuffer* tag = nullptr;
    const bool made =
        source_ != nullptr && (video || sound_) && makeTags(kind, buffer, caps, &header, &tag);
    // Pictures and blocks of sound follow each other without gaps or
    // overlaps: the next of this kind comes at the end of this one or later.
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const GstClockTime end =
        GST_BUFFER_PTS(buffer) + (GST_CLOCK_TIME_IS_VALID(duration) ? duration : 0);
    gst_buffer_unref(buffer);
    if (!made) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    Held& held = held_[kind];
    for (GstBuffer* each : {header, tag}) {
        if (each != nullptr) {
            waiting_[kind] += gst_buffer_get_size(each);
            held.add(each);
        }
    }
    held.reached = end;
    release(false);
}

bool FlvAppSrcTarget::makeTags(Kind kind, GstBuffer* buffer, GstCaps* caps, GstBuffer** header,
                               GstBuffer** tag) {
    const GstClockTime time = GST_BUFFER_PTS(buffer);
    const bool picture = kind == kPictures;
    GstMapInfo map;
    if (!GST_CLOCK_TIME_IS_VALID(time) || !gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        return false;
    }
    const bool key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    *tag = tagBuffer(picture, time, key, flv::Payload::kData, map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    if (*tag == nullptr) {
        return false;
    }
    if (announced_[kind] != nullptr && gst_caps_is_equal(announced_[kind], caps)) {
        return true;
    }
    CodecData record(caps);
    if (record.valid()) {
        *header = tagBuffer(picture, time, true, flv::Payload::kSequenceHeader, record.data(),
                            record.size());
    }
    if (*header == nullptr) {
        gst_buffer_unref(*tag);
        *tag = nullptr;
        return false;
    }
    gst_caps_replace(&announced_[kind], caps);
    return true;
}

void FlvAppSrcTarget::release(bool all) {
    Held& pictures = held_[kPictures];
    Held& sound = held_[kSound];
    for (;;) {
        Kind next;
        if (pictures.count > 0 && sound.count > 0) {
            next = GST_BUFFER_PTS(sound.front()) < GST_BUFFER_PTS(pictures.front()) ? kSound
                                                                                    : kPictures;
        } else if (pictures.count > 0 && mayGoAlone(pictures, sound, all)) {
            next = kPictures;
        } else if (sound.count > 0 && mayGoAlone(sound, pictures, all)) {
            next = kSound;
        } else {
            return;
        }
        send(held_[next].take());
    }
}

bool FlvAppSrcTarget::mayGoAlone(const Held& held, const Held& other, bool all) const {
    if (all || !sound_ || held.full()) {
        return true;
    }
    return other.reached && *other.reached >= GST_BUFFER_PTS(held.front());
}

void FlvAppSrcTarget::send(GstBuffer* tag) { gst_app_src_push_buffer(GST_APP_SRC(source_), tag); }

void FlvAppSrcTarget::end() {
    if (source_ == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        release(true);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source_));
}

// On the appsrc's thread, as each tag leaves it for the sink.
GstPadProbeReturn FlvAppSrcTarget::noteLeft(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* target = static_cast<FlvAppSrcTarget*>(self);
    GstBuffer* tag = GST_PAD_PROBE_INFO_BUFFER(info);
    uint8_t type = 0;
    gst_buffer_extract(tag, 0, &type, 1);
    // Counted when it was made, before it reached the appsrc.
    target->waiting_[type == flv::kSoundTag ? kSound : kPictures] -= gst_buffer_get_size(tag);
    return GST_PAD_PROBE_OK;
}
