#include "sources/delivered_source.h"

int32_t DeliveredSource::Start() {
    // Running before the library starts, so that a failure it reports at
    // once is not overwritten afterwards.
    bool wasRunning = running_.exchange(true);
    int32_t result = StartDelivery(wasRunning);
    if (result != 0) {
        running_ = false;
    }
    return result;
}

void DeliveredSource::Stop() {
    running_ = false;
    StopDelivery();
}

bool DeliveredSource::IsRunning() { return running_; }

void DeliveredSource::OnFrame(unsigned char* data, size_t size) { PushFrame(data, size); }

void DeliveredSource::OnStreamEnd() { SetFrameValid(false); }

void DeliveredSource::OnSimplyCallBack(int msg, unsigned char* data, long size) {
    if (msg == MSG_STREAM_END) {
        OnStreamEnd();
    } else if (msg == MSG_FRAME && data != nullptr && size > 0 &&
               static_cast<uint32_t>(size) == FrameSize()) {
        OnFrame(data, static_cast<size_t>(size));
    }
}
