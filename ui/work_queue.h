#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs slow work (finishing a recording, copying it) on a thread of its own,
// in the order it was posted, so that the window stays responsive; each
// piece's completion then runs on the thread that owns the queue, from its
// event loop. The destructor waits for every piece posted: what they write
// is never cut short by the window going away (their completions are
// dropped then).
class WorkQueue : public QObject {
    Q_OBJECT

public:
    explicit WorkQueue(QObject* parent = nullptr);
    ~WorkQueue() override;

    void post(std::function<void()> work, std::function<void()> done);

private:
    struct Piece {
        std::function<void()> work;
        std::function<void()> done;
    };
    void run();

    std::mutex lock_;  // guards queue_ and stopping_
    std::condition_variable wake_;
    std::deque<Piece> queue_;
    bool stopping_ = false;
    std::thread worker_;
};
