#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "base/output_mode.h"
#include "engine/effect_chain.h"
#include "engine/graph_control.h"
#include "engine/tick_ledger.h"

class VideoSource;
class VideoEffect;
class VideoOutput;
struct FrameWorkspace;

// The engine's clock and switchboard. A worker thread builds one picture per
// tick: it copies the front source's frame (or the placeholder's when the front
// source is not running or has no frame), runs the effects over it, converts it
// to 24 bits and hands both layouts to every output in the order they were
// added. The graph never owns its sources, effects or outputs: owners take
// their component out of the graph before deleting it.
//
// Threads: every call comes from the user-interface thread. The worker takes
// the source list's lock, then the chosen source's lock; the effect chain's
// lock and the output list's lock are taken later, each alone. Sources' Start
// and Stop run on the calling thread outside every lock of the graph, so a
// source that waits for its device never stops the worker's ticks; they must
// not call back into the graph.
class PlayGraph {
public:
    // Gives the output that the process-wide graph attaches first. It is
    // called once, by the first Instance(), before the graph is built, so a
    // function-local singleton behind it outlives the graph.
    using DefaultOutputProvider = VideoOutput* (*)();
    static void SetDefaultOutputProvider(DefaultOutputProvider provider);

    // The process-wide graph: 30 fps, the default output attached. Lives until
    // process exit.
    static PlayGraph* Instance();
    // A private graph without default output.
    static PlayGraph* Create(int32_t frameRate);
    // Destroys a graph made by Create and clears the pointer; null is fine.
    static void Destroy(PlayGraph** graph);

    ~PlayGraph();
    PlayGraph(const PlayGraph&) = delete;
    PlayGraph& operator=(const PlayGraph&) = delete;

    // Takes effect at the worker's next tick. fps below 1 is ignored.
    void SetFrameRate(int32_t fps);
    int32_t FrameRate() const;

    // The pictures' size and rate (640 x 480 at the graph's rate until set).
    // The worker builds pictures of the new size from its next tick on; every
    // registered source and the placeholder are asked for frames of that
    // size here, outside the graph's locks. A source whose frames still have
    // the old size meanwhile is scaled to the new one.
    void SetOutputMode(const OutputMode& mode);
    OutputMode Mode() const;

    // Starts the worker (its first tick comes at once); a running graph is left
    // alone. 0, or -1 when the graph has no timer or stop event (the worker
    // is not started).
    int32_t Start();
    // Lets the current tick finish and joins the worker, then logs how many
    // ticks it made and missed; nothing when stopped.
    void Stop();
    bool IsRunning() const { return worker_.joinable(); }
    // The ticks since the last Start, and the tick slots they missed because
    // a tick (or the machine) ran too long.
    TickLedger::Counts Ticks() const { return ledger_.Read(); }

    // Sizes the source to the mode's size, moves it to the front and starts it; with
    // stopOthers, stops every source behind it (they stay registered).
    void SelectSource(VideoSource* source, bool stopOthers);
    // Unregisters the source without stopping it; when it was the front one
    // and startNext is set, starts the source that is now in front.
    void RemoveSource(VideoSource* source, bool startNext);
    // Shown when the front source has nothing to show; never started or
    // stopped by the graph. Null allowed.
    void SetPlaceholderSource(VideoSource* source);
    VideoSource* FindSourceByType(int32_t typeId);
    bool IsFrontRunning();
    // The front source's type, or -1 when no source is registered.
    int32_t FrontSourceType();

    void AddEffect(VideoEffect* effect);
    // Returns once the effect can no longer run in this graph.
    void RemoveEffect(VideoEffect* effect);
    // The graph's effects in running order (a copy).
    std::vector<VideoEffect*> Effects() const;
    void AddOutput(VideoOutput* output);
    // Returns once no further frame can reach the output.
    void RemoveOutput(VideoOutput* output);

    // One tick's work without the timer: choose the picture into the
    // workspace, run the effects, convert, feed the outputs. The worker calls
    // it once per tick; benchmarks call it directly.
    void ComposeTick(FrameWorkspace& workspace);

private:
    PlayGraph(int32_t frameRate, VideoOutput* defaultOutput);

    void run();
    // ComposeTick, with an exception from an effect or output caught and
    // logged.
    void composeGuarded(FrameWorkspace& workspace);
    // Copies the picture of this tick into the workspace's 32-bit frame;
    // returns its source type.
    int32_t choosePicture(FrameWorkspace& workspace);
    void feedOutputs(const FrameWorkspace& workspace);

    std::thread worker_;
    GraphControl control_;
    // The picture size: width in the high half, height in the low half, so
    // that the worker never reads half of a change.
    std::atomic<uint64_t> frameSize_;

    std::mutex sourcesLock_;  // guards sources_ and placeholder_
    std::vector<VideoSource*> sources_;
    VideoSource* placeholder_ = nullptr;

    std::mutex outputsLock_;  // guards outputs_, and is held while they run
    std::vector<VideoOutput*> outputs_;

    EffectChain effects_;
    TickLedger ledger_;
    uint64_t failedTicks_ = 0;  // the worker's own
};
