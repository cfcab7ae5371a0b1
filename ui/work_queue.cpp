#include "ui/work_queue.h"

WorkQueue::WorkQueue(QObject* parent) : QObject(parent), worker_(&WorkQueue::run, this) {}

WorkQueue::~WorkQueue() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void WorkQueue::post(std::function<void()> work, std::function<void()> done) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back({std::move(work), std::move(done)});
    }
    wake_.notify_all();
}

void WorkQueue::run() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;  // stopping, and everything posted is done
        }
        Piece piece = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        piece.work();
        // Queued to this object: dropped by Qt if it is being destroyed.
        if (piece.done) {
            QMetaObject::invokeMethod(this, std::move(piece.done), Qt::QueuedConnection);
        }
        lock.lock();
    }
}
