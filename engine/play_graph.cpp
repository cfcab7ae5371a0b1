#include "engine/play_graph.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <exception>

#include "base/debug_log.h"
#include "base/scoped_lock.h"
#include "engine/frame_workspace.h"
#include "engine/video_output.h"
#include "engine/video_source.h"

namespace {
PlayGraph::DefaultOutputProvider g_defaultOutputProvider = nullptr;

uint64_t packSize(int32_t width, int32_t height) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) |
           static_cast<uint32_t>(height);
}
int32_t packedWidth(uint64_t packed) { return static_cast<int32_t>(packed >> 32); }
int32_t packedHeight(uint64_t packed) { return static_cast<int32_t>(packed & 0xffffffffu); }

// Copies a source's frame into the working frame; a frame of another size
// (a source not yet following a change of size) is scaled to fit.
void copyIntoWorkspace(void* context, const uint8_t* frame, uint32_t frameSize, int32_t width,
                       int32_t height) {
    auto& workspace = *static_cast<FrameWorkspace*>(context);
    if (width == workspace.width && height == workspace.height) {
        std::memcpy(workspace.frame32.get(), frame, std::min(frameSize, workspace.size32));
        return;
    }
    cv::Mat source(height, width, CV_8UC4, const_cast<uint8_t*>(frame),
                   VideoFrame::RowBytes(width, 32));
    cv::resize(source, workspace.image32, workspace.image32.size(), 0, 0, cv::INTER_LINEAR);
}
}  // namespace

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
    : control_(frameRate < 1 ? 1 : frameRate),
      frameSize_(packSize(VideoFrame::kWidth, VideoFrame::kHeight)) {
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

void PlayGraph::SetOutputMode(const OutputMode& mode) {
    SetFrameRate(mode.frameRate);
    frameSize_ = packSize(mode.width, mode.height);
    std::vector<VideoSource*> sized;
    {
        ScopedLock guard(sourcesLock_);
        sized = sources_;
        if (placeholder_ != nullptr) {
            sized.push_back(placeholder_);
        }
    }
    // A source may reopen its device for the new size: not under the list's
    // lock, so the worker keeps ticking (scaling the old size meanwhile).
    for (VideoSource* source : sized) {
        source->SetFrameRate(mode.frameRate);
        source->SetFrameSize(mode.width, mode.height);
    }
}

OutputMode PlayGraph::Mode() const {
    uint64_t packed = frameSize_;
    return OutputMode{packedWidth(packed), packedHeight(packed), FrameRate()};
}

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
    ledger_.Reset();
    worker_ = std::thread(&PlayGraph::run, this);
    return 0;
}

void PlayGraph::Stop() {
    if (!worker_.joinable()) {
        return;
    }
    control_.RequestStop();
    worker_.join();
    TickLedger::Counts counts = ledger_.Read();
    debugLog("Play graph stopped after %llu ticks at %d fps, %llu tick slots missed",
             static_cast<unsigned long long>(counts.ticks), FrameRate(),
             static_cast<unsigned long long>(counts.missed));
}

void PlayGraph::SelectSource(VideoSource* source, bool stopOthers) {
    if (source == nullptr) {
        return;
    }
    OutputMode mode = Mode();
    source->SetFrameRate(mode.frameRate);
    source->SetFrameSize(mode.width, mode.height);
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
    uint64_t size = frameSize_;
    auto workspace = std::make_unique<FrameWorkspace>(packedWidth(size), packedHeight(size));
    while (control_.Wait() == GraphControl::Wake::Tick) {
        ledger_.Note(std::chrono::steady_clock::now(),
                     std::chrono::nanoseconds(-control_.DueTime() * 100));
        // Re-arming before the picture is built makes ticks start one period
        // apart as long as a tick is shorter than the period.
        if (!control_.Rearm()) {
            debugLog("Play Gragh ,Set Waittimer failed!!");
        }
        if (uint64_t wanted = frameSize_; wanted != size) {
            // The only allocation of the worker: once per change of size.
            size = wanted;
            workspace = std::make_unique<FrameWorkspace>(packedWidth(size), packedHeight(size));
        }
        composeGuarded(*workspace);
    }
}

// A tick whose effect or output throws (OpenCV does, on a bad argument or
// when its thread pool is being torn down) is lost, not the program: an
// exception leaving the worker would end the process.
void PlayGraph::composeGuarded(FrameWorkspace& workspace) {
    try {
        ComposeTick(workspace);
    } catch (const std::exception& error) {
        uint64_t failed = ++failedTicks_;
        if (failed == 1 || failed % 1000 == 0) {
            debugLog("Play graph: %llu ticks failed, the last with: %s",
                     static_cast<unsigned long long>(failed), error.what());
        }
    }
}

void PlayGraph::ComposeTick(FrameWorkspace& workspace) {
    int32_t sourceType = choosePicture(workspace);
    effects_.Apply(workspace.frame32.get(), workspace.size32, workspace.width, workspace.height,
                   sourceType);
    cv::cvtColor(workspace.image32, workspace.image24, cv::COLOR_BGRA2BGR);
    feedOutputs(workspace);
}

int32_t PlayGraph::choosePicture(FrameWorkspace& workspace) {
    ScopedLock guard(sourcesLock_);
    if (!sources_.empty() && sources_.front()->IsRunning()) {
        VideoSource* front = sources_.front();
        if (front->ReadFrame(copyIntoWorkspace, &workspace)) {
            return front->TypeId();
        }
    }
    // Without any frame the working frame keeps the previous picture.
    if (placeholder_ != nullptr) {
        placeholder_->ReadFrame(copyIntoWorkspace, &workspace);
    }
    return SOURCE_TYPE_PICTURE;
}

void PlayGraph::feedOutputs(const FrameWorkspace& workspace) {
    ScopedLock guard(outputsLock_);
    for (VideoOutput* output : outputs_) {
        output->OnFrame32(workspace.frame32.get(), workspace.size32, workspace.width,
                          workspace.height);
        output->OnFrame24(workspace.Frame24(), workspace.Size24(), workspace.width,
                          workspace.height);
    }
}
