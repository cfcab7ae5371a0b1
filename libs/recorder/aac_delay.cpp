#include "libs/recorder/aac_delay.h"

namespace {
// The probe's own: where the encoder's sound begins. Only the pad's
// streaming thread reads and writes it.
struct LeadIn {
    GstClockTime lag = 0;
    GstClockTime first = GST_CLOCK_TIME_NONE;
};

GstPadProbeReturn dropLeadIn(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* leadIn = static_cast<LeadIn*>(data);
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts) || !GST_CLOCK_TIME_IS_VALID(duration)) {
        return GST_PAD_PROBE_OK;
    }
    if (!GST_CLOCK_TIME_IS_VALID(leadIn->first)) {
        leadIn->first = pts;
    }
    return pts + duration <= leadIn->first + leadIn->lag ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}
}  // namespace

void leaveOutAacLeadIn(GstPad* pad, GstClockTime lag) {
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &dropLeadIn, new LeadIn{lag},
                      [](gpointer data) { delete static_cast<LeadIn*>(data); });
}
