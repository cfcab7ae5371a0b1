#include "libs/capture/bus_watcher.h"

BusWatcher::~BusWatcher() {
    stop();
    setBus(nullptr);
}

void BusWatcher::start(GstElement* pipeline, Handler handler) {
    GstBus* bus = gst_element_get_bus(pipeline);
    setBus(bus);
    gst_object_unref(bus);
    start(std::move(handler));
}

void BusWatcher::start(Handler handler) {
    stop();
    handler_ = std::move(handler);
    running_ = true;
    thread_ = std::thread(&BusWatcher::run, this);
}

void BusWatcher::setBus(GstBus* bus) {
    GstBus* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(busLock_);
        old = bus_;
        bus_ = bus != nullptr ? GST_BUS(gst_object_ref(bus)) : nullptr;
    }
    if (old != nullptr) {
        gst_object_unref(old);
    }
}

GstBus* BusWatcher::currentBus() {
    std::lock_guard<std::mutex> guard(busLock_);
    return bus_ != nullptr ? GST_BUS(gst_object_ref(bus_)) : nullptr;
}

void BusWatcher::stop() {
    running_ = false;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void BusWatcher::run() {
    // ASYNC_DONE: the pipeline has prerolled (and so takes seeks).
    auto interesting = static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR |
                                                   GST_MESSAGE_WARNING | GST_MESSAGE_ASYNC_DONE);
    while (running_) {
        GstBus* bus = currentBus();
        if (bus == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        // A short wait keeps stop() prompt without a wake-up channel.
        GstMessage* message = gst_bus_timed_pop_filtered(bus, 50 * GST_MSECOND, interesting);
        if (running_) {
            handler_(message, bus);
        }
        if (message != nullptr) {
            gst_message_unref(message);
        }
        gst_object_unref(bus);
    }
}
