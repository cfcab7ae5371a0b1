#include "libs/recorder/appsrc_target.h"

#include <gst/app/gstappsrc.h>

#include <initializer_list>

AppSrcTarget::AppSrcTarget(GstElement* pipeline)
    : video_(gst_bin_get_by_name(GST_BIN(pipeline), "video")),
      sound_(gst_bin_get_by_name(GST_BIN(pipeline), "sound")) {
    for (GstElement* source : {video_, sound_}) {
        if (source != nullptr) {
            g_object_set(source, "max-bytes", G_GUINT64_CONSTANT(0), "block", FALSE, nullptr);
        }
    }
}

AppSrcTarget::~AppSrcTarget() {
    for (GstElement* source : {video_, sound_}) {
        if (source != nullptr) {
            gst_object_unref(source);
        }
    }
}

void AppSrcTarget::push(bool video, GstBuffer* buffer, GstCaps* caps) {
    GstElement* source = video ? video_ : sound_;
    if (source == nullptr) {
        gst_buffer_unref(buffer);
        return;
    }
    GstCaps* current = gst_app_src_get_caps(GST_APP_SRC(source));
    if (current == nullptr || !gst_caps_is_equal(current, caps)) {
        gst_app_src_set_caps(GST_APP_SRC(source), caps);
    }
    if (current != nullptr) {
        gst_caps_unref(current);
    }
    gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
}

void AppSrcTarget::end() {
    for (GstElement* source : {video_, sound_}) {
        if (source != nullptr) {
            gst_app_src_end_of_stream(GST_APP_SRC(source));
        }
    }
}

uint64_t AppSrcTarget::videoBytesWaiting() const { return waitingIn(video_); }

uint64_t AppSrcTarget::soundBytesWaiting() const { return waitingIn(sound_); }

uint64_t AppSrcTarget::waitingIn(GstElement* source) {
    return source != nullptr ? gst_app_src_get_current_level_bytes(GST_APP_SRC(source)) : 0;
}
