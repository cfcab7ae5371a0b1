#include "libs/recorder/live_stall.h"

bool LiveStall::stalled(uint64_t bytesOut, uint64_t picturesOffered, Clock::time_point now) {
    if (!bytesOut_ || bytesOut != *bytesOut_) {
        bytesOut_ = bytesOut;
        picturesOffered_ = picturesOffered;
        since_ = now;
        return false;
    }
    return picturesOffered != picturesOffered_ && now - since_ >= limit_;
}
