#include "libs/recorder/buffer_pool.h"

#include <gst/app/gstappsrc.h>

GstBufferPool* makeBufferPool(GstElement* source, int blockSize, guint made, guint most) {
    GstBufferPool* pool = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    GstCaps* caps = gst_app_src_get_caps(GST_APP_SRC(source));
    gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(blockSize), made, most);
    if (caps != nullptr) {
        gst_caps_unref(caps);
    }
    gst_buffer_pool_set_config(pool, config);
    gst_buffer_pool_set_active(pool, TRUE);
    return pool;
}

void dropBufferPool(GstBufferPool*& pool) {
    if (pool != nullptr) {
        gst_buffer_pool_set_active(pool, FALSE);
        gst_object_unref(pool);
        pool = nullptr;
    }
}

bool pushPooled(GstElement* source, GstBufferPool* pool, const void* data, int size,
                GstClockTime pts, GstClockTime duration, bool dontWait) {
    GstBuffer* buffer = nullptr;
    GstBufferPoolAcquireParams params{};
    params.flags =
        dontWait ? GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT : GST_BUFFER_POOL_ACQUIRE_FLAG_NONE;
    if (gst_buffer_pool_acquire_buffer(pool, &buffer, &params) != GST_FLOW_OK) {
        return false;
    }
    gst_buffer_fill(buffer, 0, data, static_cast<gsize>(size));
    gst_buffer_set_size(buffer, size);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    return gst_app_src_push_buffer(GST_APP_SRC(source), buffer) == GST_FLOW_OK;
}
