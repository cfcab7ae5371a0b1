#pragma once

#include <gst/gst.h>

#include <array>
#include <cstddef>

// Buffers waiting in order, oldest first, in room of `Room` fixed once: no
// allocation as they come and go. It holds the references it was given and
// drops those still in it when it goes.
template <size_t Room>
class TagRing {
public:
    TagRing() = default;
    ~TagRing() {
        while (count_ > 0) {
            gst_buffer_unref(take());
        }
    }
    TagRing(const TagRing&) = delete;
    TagRing& operator=(const TagRing&) = delete;

    size_t size() const { return count_; }
    bool atCapacity() const { return count_ == Room; }
    GstBuffer* front() const { return buffers_[first_]; }
    GstBuffer* back() const { return buffers_[(first_ + count_ - 1) % Room]; }
    // Takes the caller's reference; only when not at capacity.
    void add(GstBuffer* buffer) { buffers_[(first_ + count_++) % Room] = buffer; }
    // The oldest, with its reference; only when not empty.
    GstBuffer* take() {
        GstBuffer* buffer = buffers_[first_];
        first_ = (first_ + 1) % Room;
        --count_;
        return buffer;
    }

private:
    std::array<GstBuffer*, Room> buffers_{};
    size_t first_ = 0;
    size_t count_ = 0;
};
