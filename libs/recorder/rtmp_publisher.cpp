#include "libs/recorder/rtmp_publisher.h"

#include <pthread.h>

#include <array>

#include "libs/recorder/flv_layout.h"
#include "libs/recorder/rtmp_session.h"

namespace {
bool isSound(GstBuffer* tag) {
    uint8_t type = 0;
    gst_buffer_extract(tag, 0, &type, 1);
    return type == flv::kSoundTag;
}
}  // namespace

RtmpPublisher::RtmpPublisher(const LiveTarget& target, const std::string& key)
    : target_(target), key_(key), cancel_(g_cancellable_new()), thread_([this] { run(); }) {}

RtmpPublisher::~RtmpPublisher() {
    cancel();
    thread_.join();
    g_object_unref(cancel_);
}

void RtmpPublisher::cancel() {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        cancelled_ = true;
    }
    g_cancellable_cancel(cancel_);
    wake_.notify_all();
}

void RtmpPublisher::take(GstBuffer* tag) {
    const bool sound = isSound(tag);
    const gsize bytes = gst_buffer_get_size(tag);
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        if (queue_.atCapacity()) {
            // The connection fell this far behind despite the feed's bound:
            // it is lost; a new one starts clean.
            overflowed_ = true;
            gst_buffer_unref(tag);
            wake = true;
        } else {
            queue_.add(tag);
            waiting_[sound ? 1 : 0] += bytes;
            taken_ += bytes;
            soundQueued_ += sound ? 1 : 0;
            wake = !sound || soundQueued_ >= kSoundPerWrite;
            worthWriting_ = worthWriting_ || wake;
        }
    }
    if (wake) {
        wake_.notify_one();
    }
}

void RtmpPublisher::end() {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        endAsked_ = true;
    }
    wake_.notify_one();
}

size_t RtmpPublisher::nextBatch(GstBuffer** batch, size_t most, bool* last) {
    std::unique_lock<std::mutex> guard(queueLock_);
    wake_.wait_for(guard, kLongestNap,
                   [this] { return worthWriting_ || endAsked_ || overflowed_ || cancelled_; });
    size_t taken = 0;
    while (taken < most && queue_.size() > 0) {
        batch[taken++] = queue_.take();
    }
    soundQueued_ = 0;
    worthWriting_ = queue_.size() > 0;  // more than one write's worth: go on at once
    *last = endAsked_ && queue_.size() == 0;
    return taken;
}

void RtmpPublisher::release(GstBuffer** batch, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        waiting_[isSound(batch[i]) ? 1 : 0] -= gst_buffer_get_size(batch[i]);
        gst_buffer_unref(batch[i]);
    }
}

void RtmpPublisher::run() {
    // Named, so that a look at the process's threads shows what the
    // connection costs.
    pthread_setname_np(pthread_self(), "rtmp:send");
    RtmpSession session(cancel_);
    if (std::optional<LiveEnding> failed = session.publish(target_, key_)) {
        finishWith(*failed);
        return;
    }
    std::array<GstBuffer*, RtmpSession::kMostTags> batch;
    for (;;) {
        bool last = false;
        const size_t count = nextBatch(batch.data(), batch.size(), &last);
        std::optional<LiveEnding> failed;
        if (count > 0) {
            failed = session.send(batch.data(), count);
            out_ = session.bytesWritten();
            release(batch.data(), count);
        }
        if (!failed) {
            failed = session.answerServer();
        }
        acknowledged_ = session.bytesAcknowledged().value_or(acknowledged_.load());
        {
            std::lock_guard<std::mutex> guard(queueLock_);
            if (!failed && overflowed_) {
                failed = LiveEnding{false, LiveStopReason::Failed, "too much waited to be sent"};
            }
        }
        if (!failed && last) {
            failed = session.unpublish();
            if (!failed) {
                finishWith(LiveEnding{true, LiveStopReason::None, "the stream ended"});
                return;
            }
        }
        if (failed) {
            finishWith(*failed);
            return;
        }
    }
}

void RtmpPublisher::finishWith(LiveEnding ending) {
    {
        std::lock_guard<std::mutex> guard(endLock_);
        if (!ending_) {
            ending_ = std::move(ending);
        }
    }
    ended_.notify_all();
}

std::optional<LiveEnding> RtmpPublisher::waitEnding(std::chrono::nanoseconds wait) {
    std::unique_lock<std::mutex> guard(endLock_);
    ended_.wait_for(guard, wait, [this] { return ending_.has_value() || interrupted_; });
    interrupted_ = false;
    return ending_;
}

void RtmpPublisher::interruptWait() {
    {
        std::lock_guard<std::mutex> guard(endLock_);
        interrupted_ = true;
    }
    ended_.notify_all();
}
