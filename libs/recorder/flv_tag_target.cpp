#include "libs/recorder/flv_tag_target.h"

#include <initializer_list>
#include <vector>

#include "libs/recorder/codec_data.h"
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

bool FlvTagTarget::Held::full() const {
    return size() + 2 > kMostHeld ||  // room for a sequence header and its tag
           GST_BUFFER_PTS(back()) - GST_BUFFER_PTS(front()) >= kMostHeldTime;
}

FlvTagTarget::FlvTagTarget(FlvTagSink& sink, const Stream& stream)
    : sink_(sink), sound_(stream.sound) {
    std::vector<uint8_t> opening;
    opening.reserve(512);
    flv::appendHeader(opening, sound_);
    const size_t headerBytes = opening.size();
    flv::appendMetadata(opening, stream.width, stream.height, stream.frameRate, sound_);
    // The header and the script tag in buffers of their own: one tag a
    // buffer.
    for (GstBuffer* part :
         {gst_buffer_new_memdup(opening.data(), headerBytes),
          gst_buffer_new_memdup(opening.data() + headerBytes, opening.size() - headerBytes)}) {
        GST_BUFFER_PTS(part) = 0;
        GST_BUFFER_DTS(part) = 0;
        sink_.take(part);
    }
}

FlvTagTarget::~FlvTagTarget() {
    for (GstCaps* caps : announced_) {
        if (caps != nullptr) {
            gst_caps_unref(caps);
        }
    }
}

void FlvTagTarget::push(bool video, GstBuffer* buffer, GstCaps* caps) {
    const Kind kind = video ? kPictures : kSound;
    GstBuffer* header = nullptr;
    GstBuffer* tag = nullptr;
    const bool made = (video || sound_) && makeTags(kind, buffer, caps, &header, &tag);
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
            heldBytes_[kind] += gst_buffer_get_size(each);
            held.add(each);
        }
    }
    held.reached = end;
    release(false);
}

bool FlvTagTarget::makeTags(Kind kind, GstBuffer* buffer, GstCaps* caps, GstBuffer** header,
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

void FlvTagTarget::release(bool all) {
    Held& pictures = held_[kPictures];
    Held& sound = held_[kSound];
    for (;;) {
        Kind next;
        if (pictures.size() > 0 && sound.size() > 0) {
            next = GST_BUFFER_PTS(sound.front()) < GST_BUFFER_PTS(pictures.front()) ? kSound
                                                                                    : kPictures;
        } else if (pictures.size() > 0 && mayGoAlone(pictures, sound, all)) {
            next = kPictures;
        } else if (sound.size() > 0 && mayGoAlone(sound, pictures, all)) {
            next = kSound;
        } else {
            return;
        }
        GstBuffer* tag = held_[next].take();
        heldBytes_[next] -= gst_buffer_get_size(tag);
        sink_.take(tag);
    }
}

bool FlvTagTarget::mayGoAlone(const Held& held, const Held& other, bool all) const {
    if (all || !sound_ || held.full()) {
        return true;
    }
    return other.reached && *other.reached >= GST_BUFFER_PTS(held.front());
}

void FlvTagTarget::end() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        release(true);
    }
    sink_.end();
}
