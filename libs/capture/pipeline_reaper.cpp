#include "libs/capture/pipeline_reaper.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {
struct Retirement {
    std::mutex lock;
    std::condition_variable finished;
    bool down = false;
};

void takeDown(GstElement* pipeline, const std::shared_ptr<Retirement>& retirement) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    std::lock_guard<std::mutex> guard(retirement->lock);
    retirement->down = true;
    retirement->finished.notify_all();
}
}  // namespace

bool PipelineReaper::retire(GstElement* pipeline, std::chrono::milliseconds patience) {
    auto retirement = std::make_shared<Retirement>();
    try {
        // Detached: a pipeline that never comes down keeps only this thread.
        std::thread(takeDown, pipeline, retirement).detach();
    } catch (const std::system_error&) {
        takeDown(pipeline, retirement);  // no thread to be had: wait here after all
        return true;
    }
    std::unique_lock<std::mutex> guard(retirement->lock);
    return retirement->finished.wait_for(guard, patience, [&] { return retirement->down; });
}
