#include "libs/recorder/muxer_tags.h"

namespace {
GstPadProbeReturn dropTags(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    return event != nullptr && GST_EVENT_TYPE(event) == GST_EVENT_TAG ? GST_PAD_PROBE_DROP
                                                                      : GST_PAD_PROBE_OK;
}
}  // namespace

void dropTagsIntoMuxer(GstElement* pipeline) {
    GstElement* mux = gst_bin_get_by_name(GST_BIN(pipeline), "mux");
    if (mux == nullptr) {
        return;
    }
    GstIterator* pads = gst_element_iterate_sink_pads(mux);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        auto* pad = GST_PAD(g_value_get_object(&item));
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &dropTags, nullptr, nullptr);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    gst_object_unref(mux);
}
