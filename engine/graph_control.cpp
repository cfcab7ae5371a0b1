#include "engine/graph_control.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

GraphControl::GraphControl(int32_t frameRate)
    : stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      timerFd_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC)) {
    SetFrameRate(frameRate);
}

GraphControl::~GraphControl() {
    if (stopFd_ >= 0) {
        ::close(stopFd_);
    }
    if (timerFd_ >= 0) {
        ::close(timerFd_);
    }
}

bool GraphControl::SetFrameRate(int32_t fps) {
    if (fps < 1) {
        return false;
    }
    frameRate_.store(fps, std::memory_order_relaxed);
    dueTime_.store(-10'000'000 / fps, std::memory_order_relaxed);
    return true;
}

bool GraphControl::ArmFirstTick() { return armRelative(-1); }

bool GraphControl::Rearm() { return armRelative(DueTime()); }

bool GraphControl::armRelative(int64_t dueTime100ns) {
    // Setting a timerfd also clears its expiry count, which is what makes it
    // behave like a manual-reset timer that only re-arming resets.
    int64_t nanoseconds = -dueTime100ns * 100;
    itimerspec expiry{};
    expiry.it_value.tv_sec = nanoseconds / 1'000'000'000;
    expiry.it_value.tv_nsec = nanoseconds % 1'000'000'000;
    return ::timerfd_settime(timerFd_, 0, &expiry, nullptr) == 0;
}

GraphControl::Wake GraphControl::Wait() {
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {timerFd_, POLLIN, 0}};
    for (;;) {
        int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        // A broken descriptor can never tick again: treat it as a stop rather
        // than spinning.
        if (ready < 0 || (fds[0].revents & (POLLIN | POLLERR | POLLNVAL)) != 0) {
            eventfd_t value;
            ::eventfd_read(stopFd_, &value);
            return Wake::Stop;
        }
        if ((fds[1].revents & POLLNVAL) != 0) {
            return Wake::Stop;
        }
        return Wake::Tick;
    }
}

void GraphControl::RequestStop() { ::eventfd_write(stopFd_, 1); }
