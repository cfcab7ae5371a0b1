#pragma once

#include <gst/gst.h>

#include "libs/recorder/encoded_target.h"

// A muxing pipeline's way in: its appsrc named "video" and, when it has one,
// "sound". The appsrcs never refuse or block on their own; the feed in front
// bounds what waits in them.
class AppSrcTarget final : public EncodedTarget {
public:
    // Keeps its own references to the pipeline's appsrcs.
    explicit AppSrcTarget(GstElement* pipeline);
    ~AppSrcTarget() override;
    AppSrcTarget(const AppSrcTarget&) = delete;
    AppSrcTarget& operator=(const AppSrcTarget&) = delete;

    bool hasSound() const override { return sound_ != nullptr; }
    void push(bool video, GstBuffer* buffer, GstCaps* caps) override;
    // End of stream into both appsrcs.
    void end() override;
    uint64_t videoBytesWaiting() const override;
    uint64_t soundBytesWaiting() const override;

private:
    static uint64_t waitingIn(GstElement* source);

    GstElement* video_ = nullptr;
    GstElement* sound_ = nullptr;
};
