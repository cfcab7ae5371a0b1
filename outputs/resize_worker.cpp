#include "outputs/resize_worker.h"

namespace {
constexpr uint64_t kCountStep = uint64_t{1} << 32;

uint64_t packedSize(int32_t width, int32_t height) {
    return (static_cast<uint64_t>(width) & 0xFFFF) << 16 | (static_cast<uint64_t>(height) & 0xFFFF);
}
}  // namespace

ResizeWorker::ResizeWorker(Action action)
    : action_(std::move(action)), thread_([this] { run(); }) {}

ResizeWorker::~ResizeWorker() {
    quit_.store(true);
    request_.fetch_add(kCountStep);
    request_.notify_one();
    thread_.join();
}

void ResizeWorker::request(int32_t width, int32_t height) {
    uint64_t count = (request_.load() & ~(kCountStep - 1)) + kCountStep;
    request_.store(count | packedSize(width, height));
    request_.notify_one();
}

void ResizeWorker::run() {
    uint64_t handled = 0;
    for (;;) {
        request_.wait(handled);
        if (quit_.load()) {
            return;
        }
        handled = request_.load();
        action_(static_cast<int32_t>(handled >> 16 & 0xFFFF),
                static_cast<int32_t>(handled & 0xFFFF));
    }
}
