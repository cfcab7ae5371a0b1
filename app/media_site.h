#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "base/output_mode.h"

class CameraSource;
class CamStreatchEffect;
class ImageVideoSource;
class PlayGraph;
class VideoEffectSmallVideo;
class VideoFileSource;
class VideoSource;

// The hub between the panels and the engine. It owns the two cameras (the
// main one in the graph, the second one shown as an inset), the placeholder
// picture, the inset and the face-slimming stretch; it switches sources in the
// process-wide graph and announces every change of the active source through
// BoxSiteListener; it passes sound and position requests on to the video file
// source when one is in the graph.
//
// Threads: the user-interface thread only. Made after the process-wide graph,
// destroyed before it; its destruction stops the graph before the cameras go.
class MediaSite {
public:
    // Pictures a second of the process-wide graph.
    static constexpr int kFrameRate = 15;
    // The volume the player bar shows before anything was chosen; every video
    // file that starts takes the volume and the mute last chosen.
    static constexpr int kInitialVolume = 50;

    static MediaSite* instance();
    // The placeholder's picture: the English one when the program speaks
    // English (LUMORA_LANG, which the program sets at start), else the
    // Chinese one.
    static QString placeholderPicture();
    ~MediaSite();
    MediaSite(const MediaSite&) = delete;
    MediaSite& operator=(const MediaSite&) = delete;

    bool isCameraOpen() const;
    bool openCamera();
    void closeCamera();
    void toggleCamera();
    void setCameraFormat(int deviceIndex, int width, int height, bool second);
    void showCameraProperty(int deviceIndex);

    bool isInsetOn() const;
    void toggleInset();
    void setStretch(bool on, int strength);

    // The modes a person can choose, the standard first, and their names.
    struct NamedMode {
        OutputMode mode;
        QString name;
    };
    static std::vector<NamedMode> outputModes();
    // Told every mode the site applies, the first at its construction, and
    // before the graph takes it: how the program lets the virtual camera know
    // the mode before its pictures come. Set it before the first instance().
    using ModeListener = void (*)(const OutputMode& mode);
    static void SetModeListener(ModeListener listener);
    // The chosen mode (an index into outputModes()): the graph, its sources,
    // the second camera and the virtual camera take it at once; it is kept
    // in the settings store and comes back at the next start. An index out
    // of range is ignored.
    void setOutputMode(int index);
    int outputModeIndex() const { return outputMode_; }
    // Whether a recording is running; the record panel says so.
    bool isRecording() const { return recording_; }
    void setRecording(bool recording) { recording_ = recording; }
    OutputMode outputMode() const;

    void activateSource(VideoSource* source);
    void removeSource(VideoSource* source);

    bool isMuted() const { return muted_; }
    void setMuted(bool muted);
    void toggleMute();
    void setVolume(int percent);
    bool volume(int& percent) const;
    bool playTime(int& position, int& duration) const;
    void seek(int position);

    // For the panels and tests: what the site holds.
    CameraSource* camera(bool second) const;
    struct CameraChoice {
        int deviceIndex;
        int width;
        int height;
    };
    // The device and size a camera slot opens with.
    CameraChoice cameraChoice(bool second) const;
    VideoEffectSmallVideo* inset() const { return inset_.get(); }
    CamStreatchEffect* stretch() const { return stretch_.get(); }

private:
    int outputMode_ = 0;
    bool recording_ = false;

    struct CameraSlot {
        int width = 640;
        int height = 480;
        int deviceIndex = 0;
        std::unique_ptr<CameraSource> source;
    };

    MediaSite();
    // A camera made for the pictures of `mode`, so that it opens its device
    // once, at their size.
    static std::unique_ptr<CameraSource> makeCamera(const CameraSlot& slot, const OutputMode& mode);
    void openSlot(CameraSlot& slot, const OutputMode& mode);
    void applyOutputMode();
    void attachStretch();
    VideoFileSource* videoFile() const;

    PlayGraph* graph_;
    CameraSlot camera1_;
    CameraSlot camera2_;
    std::unique_ptr<VideoEffectSmallVideo> inset_;
    bool muted_ = false;
    int volumePercent_ = kInitialVolume;
    std::unique_ptr<ImageVideoSource> placeholder_;
    std::unique_ptr<CamStreatchEffect> stretch_;
};
