#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>

// The codec_data buffer of encoded caps (H.264's avcC record, AAC's
// AudioSpecificConfig), mapped for reading while this lives: what an FLV
// sequence header carries.
class CodecData {
public:
    // `caps` must outlive this.
    explicit CodecData(GstCaps* caps);
    ~CodecData();
    CodecData(const CodecData&) = delete;
    CodecData& operator=(const CodecData&) = delete;

    // False when the caps have no codec_data buffer.
    bool valid() const { return mapped_; }
    const uint8_t* data() const { return map_.data; }
    size_t size() const { return map_.size; }

private:
    GstBuffer* buffer_ = nullptr;
    GstMapInfo map_{};
    bool mapped_ = false;
};
