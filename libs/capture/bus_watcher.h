#pragma once

#include <gst/gst.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// Reads a pipeline's bus on a thread of its own and hands each message to a
// handler there, so that the handler may change the pipeline's state (which a
// streaming thread must never do). When the bus has been quiet for a moment
// the handler is called with a null message, so it can act once on a burst.
//
// The bus can be swapped while watching (a player that makes a new pipeline
// for each file); the handler is told which bus a message came from, so a
// message of a bus that was swapped out meanwhile can be told apart.
class BusWatcher {
public:
    using Handler = std::function<void(GstMessage* message, GstBus* from)>;

    BusWatcher() = default;
    ~BusWatcher();
    BusWatcher(const BusWatcher&) = delete;
    BusWatcher& operator=(const BusWatcher&) = delete;

    // Watches `pipeline`'s bus; a watcher already running is stopped first.
    void start(GstElement* pipeline, Handler handler);
    // Watches whatever bus setBus gives (none yet: it waits).
    void start(Handler handler);
    // Safe from any thread, the handler included. Null: watch nothing.
    void setBus(GstBus* bus);
    // Returns once the handler can no longer run. Not from the handler itself.
    void stop();

private:
    void run();
    GstBus* currentBus();

    std::thread thread_;
    std::atomic<bool> running_{false};
    Handler handler_;
    std::mutex busLock_;  // guards bus_
    GstBus* bus_ = nullptr;
};
