#include "libs/capture/decoder_setup.h"

namespace {
constexpr int kOneThreadPixels = 1920 * 1088;

bool isFfmpegVideoDecoder(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory == nullptr) {
        return false;
    }
    const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    return klass != nullptr && g_strrstr(klass, "Decoder/Video") != nullptr &&
           g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads") != nullptr;
}

// Runs before the decoder sees its caps, which is when it opens the codec.
GstPadProbeReturn onCaps(GstPad*, GstPadProbeInfo* info, gpointer decoder) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event == nullptr || GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* shape = caps != nullptr ? gst_caps_get_structure(caps, 0) : nullptr;
    int width = 0;
    int height = 0;
    if (shape != nullptr && gst_structure_get_int(shape, "width", &width) &&
        gst_structure_get_int(shape, "height", &height)) {
        g_object_set(decoder, "max-threads", decoderThreadsFor(width, height), nullptr);
    }
    return GST_PAD_PROBE_OK;
}
}  // namespace

int decoderThreadsFor(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return static_cast<long long>(width) * height <= kOneThreadPixels ? 1 : 0;
}

void setUpFileDecoder(GstElement* element) {
    if (!isFfmpegVideoDecoder(element)) {
        return;
    }
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "direct-rendering") != nullptr) {
        g_object_set(element, "direct-rendering", FALSE, nullptr);
    }
    GstPad* pad = gst_element_get_static_pad(element, "sink");
    if (pad != nullptr) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &onCaps, element, nullptr);
        gst_object_unref(pad);
    }
}
