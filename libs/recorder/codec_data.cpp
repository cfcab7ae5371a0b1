#include "libs/recorder/codec_data.h"

CodecData::CodecData(GstCaps* caps) {
    const GValue* value = gst_structure_get_value(gst_caps_get_structure(caps, 0), "codec_data");
    if (value != nullptr && G_VALUE_HOLDS(value, GST_TYPE_BUFFER)) {
        buffer_ = gst_value_get_buffer(value);
        mapped_ = gst_buffer_map(buffer_, &map_, GST_MAP_READ);
    }
}

CodecData::~CodecData() {
    if (mapped_) {
        gst_buffer_unmap(buffer_, &map_);
    }
}
