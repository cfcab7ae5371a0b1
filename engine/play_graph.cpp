#include "engine/play_graph.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "base/debug_log.h"
#include "base/scoped_lock.h"
#include "engine/frame_workspace.h"
#include "engine/video_output.h"
#include "engine/video_source.h"

namespace {
PlayGraph::DefaultOutputProvider g_defaultOutputProvider = nullptr;
}

void PlayGraph::SetDefaultOutputProvider(DefaultOutputProvider provider) {
    g_defaultOutputProvider = provider;
}

PlayGraph* PlayGraph::Instance() {
    // The provider's singleton is built first, so it is destroyed after us.
    static PlayGraph graph(30, g_defaultOutputProvider ? g_defaultOutputProvider() : nullptr);
    return &graph;
}

PlayGraph* PlayGraph::Create(int32_t frameRate) { return new PlayGraph(frameRate, nullptr); }

void PlayGraph::Destroy(PlayGraph** graph) {
    if (graph != nullptr && *graph != nullptr) {
        delete *graph;
        *graph = nullptr;
    }
}

PlayGraph::PlayGraph(int32_t frameRate, VideoOutput* defaultOutput)
    : control_(frameRate < 1 ? 1 : frameRate) {
    sources_.reserve(8);
    outputs_.reserve(8);
    if (!control_.IsValid()) {
        debugLog("Play Gragh ,create timer failed!!");
    }
    AddOutput(defaultOutput);
}

PlayGraph::~PlayGraph() { Stop(); }

void PlayGraph::SetFrameRate(int32_t fps) { control_.SetFrameRate(fps); }

int32_t PlayGraph::FrameRate() const { return control_.FrameRate(); }

int32_t PlayGraph::Start() {
    if (worker_.joinable()) {
        return 0;
    }
    // Without its timer and stop event a worker could neither tick nor be
    // stopped: it would wait for ever and hang the exit.
    if (!control_.IsValid() || !control_.ArmFirstTick()) {
        debugLog("PlayGraph, not started: no timer or stop event");
        return -1;
    }
    worker_ = std::thread(&PlayGraph::run, this);
    return 0;
}

void PlayGraph::Stop() {
    if (!worker_.joinable()) {
        return;
    }
    control_.RequestStop();
    worker_.join();
}

void PlayGraph::SelectSource(VideoSource* source, bool stopOthers) {
    if (source == nullptr) {
        return;
    }
    source->SetFrameSize(VideoFrame::kWidth, VideoFrame::kHeight);
    std::vector<VideoSource*> behind;
    {
        ScopedLock guard(sourcesLock_);
        std::erase(sources_, source);
        sources_.insert(sources_.begin(), source);
        if (stopOthers) {
            behind.assign(sources_.begin() + 1, sources_.end());
        }
    }
    // Starting may wait for a device (a camera's first frame) and stopping
    // for a thread (a slideshow's decode): neither holds the list's lock, so
    // the worker keeps ticking meanwhile, with the placeholder or the last
    // picture. Only this thread changes the list, so it stays as set here.
    source->Start();
    for (VideoSource* other : behind) {
        other->Stop();
    }
}

void PlayGraph::RemoveSource(VideoSource* source, bool startNext) {
    VideoSource* next = nullptr;
    {
        ScopedLock guard(sourcesLock_);
        bool wasFront = !sources_.empty() && sources_.front() == source;
        std::erase(sources_, source);
        if (wasFront && startNext && !sources_.empty()) {
            next = sources_.front();
        }
    }
    if (next != nullptr) {
        next->Start();  // outside the list's lock, as in SelectSource
    }
}

void PlayGraph::SetPlaceholderSource(VideoSource* source) {
    ScopedLock guard(sourcesLock_);
    placeholder_ = source;
}

VideoSource* PlayGraph::FindSourceByType(int32_t typeId) {
    ScopedLock guard(sourcesLock_);
    auto found = std::find_if(sources_.begin(), sources_.end(),
                              [typeId](VideoSource* s) { return s->TypeId() == typeId; });
    return found == sources_.end() ? nullptr : *found;
}

bool PlayGraph::IsFrontRunning() {
    ScopedLock guard(sourcesLock_);
    return !sources_.empty() && sources_.front()->IsRunning();
}

int32_t PlayGraph::FrontSourceType() {
    ScopedLock guard(sourcesLock_);
    return sources_.empty() ? -1 : sources_.front()->TypeId();
}

void PlayGraph::AddEffect(VideoEffect* effect) { effects_.Add(effect); }

void PlayGraph::RemoveEffect(VideoEffect* effect) { effects_.Remove(effect); }

std::vector<VideoEffect*> PlayGraph::Effects() const { return effects_.Effects(); }

void PlayGraph::AddOutput(VideoOutput* output) {
    if (output == nullptr) {
        return;
    }
    ScopedLock guard(outputsLock_);
    if (std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end()) {
        outputs_.push_back(output);
    }
}

void PlayGraph::RemoveOutput(VideoOutput* output) {
    ScopedLock guard(outputsLock_);
    std::erase(outputs_, output);
}

void PlayGraph::run() {
    FrameWorkspace workspace;
    while (control_.Wait() == GraphControl::Wake::Tick) {
        // Re-arming before the picture is built makes ticks start one period
        // apart as long as a tick is shorter than the period.
        if (!control_.Rearm()) {
            debugLog("Play Gragh ,Set Waittimer failed!!");
        }
        ComposeTick(workspace);
    }
}

void PlayGraph::ComposeTick(FrameWorkspace& workspace) {
    int32_t sourceType = choosePicture(workspace.frame32.get());
    effects_.Apply(workspace.frame32.get(), VideoFrame::kSize32, sourceType);
    cv::cvtColor(workspace.image32, workspace.image24, cv::COLOR_BGRA2BGR);
    feedOutputs(workspace);
}

int32_t PlayGraph::choosePicture(uint8_t* frame32) {
    ScopedLock guard(sourcesLock_);
    if (!sources_.empty() && sources_.front()->IsRunning()) {
        VideoSource* front = sources_.front();
        if (front->CopyFrameIfValid(frame32, VideoFrame::kSize32)) {
            return front->TypeId();
        }
    }
    // Without any frame the working frame keeps the previous picture.
    if (placeholder_ != nullptr) {
        placeholder_->CopyFrameIfValid(frame32, VideoFrame::kSize32);
    }
    return SOURCE_TYPE_PICTURE;
}

void PlayGraph::feedOutputs(const FrameWorkspace& workspace) {
    ScopedLock guard(outputsLock_);
    for (VideoOutput* output : outputs_) {
        output->OnFrame32(workspace.frame32.get(), VideoFrame::kSize32, VideoFrame::kWidth,
                          VideoFrame::kHeight);
        output->OnFrame24(workspace.Frame24(), VideoFrame::kSize24, VideoFrame::kWidth,
                          VideoFrame::kHeight);
    }
}
