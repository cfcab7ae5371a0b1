#include "app/media_site.h"

#include <QCoreApplication>

#include <algorithm>

#include "app/box_site_listener.h"
#include "app/helper_process.h"
#include "app/settings_db.h"
#include "base/language.h"
#include "effects/cam_streatch_effect.h"
#include "effects/video_effect_small_video.h"
#include "engine/play_graph.h"
#include "sources/camera_source.h"
#include "sources/image_video_source.h"
#include "sources/video_file_source.h"

namespace {
// Where the chosen mode is kept, as "width x height @ rate".
const char* const kOutputModeKey = "output_mode";

MediaSite::ModeListener g_modeListener = nullptr;

QString modeText(const OutputMode& mode) {
    return QString("%1x%2@%3").arg(mode.width).arg(mode.height).arg(mode.frameRate);
}
}  // namespace

QString MediaSite::placeholderPicture() {
    return announcedLanguage() == Language::English ? QStringLiteral(":/JPG/111_en")
                                                    : QStringLiteral(":/JPG/111");
}

std::vector<MediaSite::NamedMode> MediaSite::outputModes() {
    return {{kStandardMode, QCoreApplication::translate("MediaSite", "标清 640×480 15帧")},
            {kHd720Mode, QCoreApplication::translate("MediaSite", "高清 1280×720 30帧")},
            {kHd1080Mode, QCoreApplication::translate("MediaSite", "全高清 1920×1080 30帧")}};
}

MediaSite* MediaSite::instance() {
    static MediaSite site;
    return &site;
}

MediaSite::MediaSite() : graph_(PlayGraph::Instance()) {
    // A missing description file changes nothing (the capture library says so once).
    VideoFileSource::SetFilterDescription(QString::fromStdString(executableDirectory()) +
                                          "/filters.xml");
    placeholder_ = std::make_unique<ImageVideoSource>(placeholderPicture());
    graph_->SetPlaceholderSource(placeholder_.get());
    QString saved = SettingsDb::instance()->loadText(kOutputModeKey);
    std::vector<NamedMode> modes = outputModes();
    for (size_t i = 0; i < modes.size(); ++i) {
        if (modeText(modes[i].mode) == saved) {
            outputMode_ = static_cast<int>(i);
        }
    }
    applyOutputMode();
}

OutputMode MediaSite::outputMode() const {
    return outputModes()[static_cast<size_t>(outputMode_)].mode;
}

void MediaSite::setOutputMode(int index) {
    if (index < 0 || index >= static_cast<int>(outputModes().size()) || index == outputMode_) {
        return;
    }
    outputMode_ = index;
    SettingsDb::instance()->saveText(kOutputModeKey, modeText(outputMode()));
    applyOutputMode();
    emit BoxSiteListener::instance()->sig_outputModeChanged(index);
}

void MediaSite::SetModeListener(ModeListener listener) { g_modeListener = listener; }

// The listener first: the graph makes pictures of the new size from its
// next tick on, and the virtual camera announces the new rate together with
// the new size only when it knows the mode by then.
void MediaSite::applyOutputMode() {
    if (g_modeListener != nullptr) {
        g_modeListener(outputMode());
    }
    graph_->SetOutputMode(outputMode());
}

MediaSite::~MediaSite() {
    graph_->Stop();
    for (CameraSlot* slot : {&camera1_, &camera2_}) {
        if (slot->source) {
            graph_->RemoveSource(slot->source.get(), false);
        }
    }
    if (inset_) {
        graph_->RemoveEffect(inset_.get());
    }
    graph_->SetPlaceholderSource(nullptr);
    camera1_.source.reset();
    camera2_.source.reset();
    inset_.reset();
    stretch_.reset();
}

bool MediaSite::isCameraOpen() const { return camera1_.source && camera1_.source->IsRunning(); }

std::unique_ptr<CameraSource> MediaSite::makeCamera(const CameraSlot& slot,
                                                    const OutputMode& mode) {
    auto camera = std::make_unique<CameraSource>(static_cast<unsigned>(slot.deviceIndex),
                                                 slot.width, slot.height, mode);
    // The failure comes on the capture's thread; the panels hear of it on
    // theirs, so the buttons show the camera closed and the lists refresh.
    camera->SetFailureObserver([] {
        QMetaObject::invokeMethod(
            BoxSiteListener::instance(),
            [] {
                emit BoxSiteListener::instance()->sig_cameraFailed();
                emit BoxSiteListener::instance()->sig_videoSrcChange();
            },
            Qt::QueuedConnection);
    });
    return camera;
}

// The camera is sized before it starts: starting it at another size and
// resizing it afterwards would open the device twice.
void MediaSite::openSlot(CameraSlot& slot, const OutputMode& mode) {
    if (!slot.source) {
        slot.source = makeCamera(slot, mode);
        if (slot.source->Start() != 0) {
            slot.source.reset();
        }
    } else if (!slot.source->IsRunning()) {
        slot.source->SetFrameRate(mode.frameRate);
        slot.source->SetFrameSize(mode.width, mode.height);
        slot.source->Start();
    }
}

void MediaSite::attachStretch() {
    if (!stretch_) {
        return;
    }
    for (CameraSlot* slot : {&camera1_, &camera2_}) {
        if (slot->source) {
            slot->source->Effects().Add(stretch_.get());
        }
    }
}

bool MediaSite::openCamera() {
    if (isCameraOpen()) {
        return true;
    }
    openSlot(camera1_, outputMode());
    if (!camera1_.source) {
        return false;
    }
    attachStretch();
    activateSource(camera1_.source.get());
    return true;
}

void MediaSite::closeCamera() {
    if (camera1_.source) {
        removeSource(camera1_.source.get());
        camera1_.source.reset();
    }
}

void MediaSite::toggleCamera() {
    if (isCameraOpen()) {
        closeCamera();
    } else {
        openCamera();
    }
    emit BoxSiteListener::instance()->sig_videoSrcChange();
}

void MediaSite::setCameraFormat(int deviceIndex, int width, int height, bool second) {
    CameraSlot& slot = second ? camera2_ : camera1_;
    slot.deviceIndex = deviceIndex;
    slot.width = width;
    slot.height = height;
    if (slot.source) {
        slot.source->Reopen(static_cast<unsigned>(deviceIndex), width, height);
        slot.source->Start();
    }
}

MediaSite::CameraChoice MediaSite::cameraChoice(bool second) const {
    const CameraSlot& slot = second ? camera2_ : camera1_;
    return {slot.deviceIndex, slot.width, slot.height};
}

void MediaSite::showCameraProperty(int deviceIndex) {
    if (camera1_.deviceIndex == deviceIndex) {
        if (!camera1_.source) {
            camera1_.source = makeCamera(camera1_, outputMode());
        }
        camera1_.source->ShowProperty(nullptr);
    }
    if (camera2_.deviceIndex == deviceIndex && camera2_.source) {
        camera2_.source->ShowProperty(nullptr);
    }
}

bool MediaSite::isInsetOn() const { return camera2_.source != nullptr; }

void MediaSite::toggleInset() {
    if (camera2_.source) {
        if (inset_) {
            graph_->RemoveEffect(inset_.get());
            inset_.reset();
        }
        camera2_.source.reset();
        return;
    }
    // The inset is a small part of the picture: the second camera stays at
    // the standard size in every mode.
    openSlot(camera2_, kStandardMode);
    if (camera2_.source) {
        attachStretch();
        inset_ = std::make_unique<VideoEffectSmallVideo>(camera2_.source.get());
        graph_->AddEffect(inset_.get());
    }
}

void MediaSite::setStretch(bool on, int strength) {
    if (on) {
        if (!stretch_) {
            stretch_ = std::make_unique<CamStreatchEffect>(strength);
        } else {
            stretch_->setValue(strength);
        }
        attachStretch();
        return;
    }
    if (stretch_) {
        for (CameraSlot* slot : {&camera1_, &camera2_}) {
            if (slot->source) {
                slot->source->Effects().Remove(stretch_.get());
            }
        }
        stretch_.reset();
    }
}

void MediaSite::activateSource(VideoSource* source) {
    if (source != nullptr && source->TypeId() == SOURCE_TYPE_VIDEO_FILE) {
        // What the player bar shows is what a new video sounds like.
        auto* file = static_cast<VideoFileSource*>(source);
        file->SetVolume(volumePercent_);
        file->Mute(muted_);
    }
    graph_->SelectSource(source, true);
    emit BoxSiteListener::instance()->sig_videoSrcChange();
}

void MediaSite::removeSource(VideoSource* source) {
    graph_->RemoveSource(source, false);
    emit BoxSiteListener::instance()->sig_videoSrcChange();
}

VideoFileSource* MediaSite::videoFile() const {
    return static_cast<VideoFileSource*>(graph_->FindSourceByType(SOURCE_TYPE_VIDEO_FILE));
}

void MediaSite::setMuted(bool muted) {
    muted_ = muted;
    if (VideoFileSource* file = videoFile()) {
        file->Mute(muted);
    }
}

void MediaSite::toggleMute() { setMuted(!muted_); }

void MediaSite::setVolume(int percent) {
    volumePercent_ = std::clamp(percent, 0, 100);
    VideoFileSource* file = videoFile();
    if (file == nullptr) {
        return;
    }
    file->SetVolume(percent);
    setMuted(percent == 0);  // the slider at 0 mutes; anywhere else it sounds again
    emit BoxSiteListener::instance()->sig_videoSrcChange();
}

bool MediaSite::volume(int& percent) const {
    percent = 0;
    VideoFileSource* file = videoFile();
    if (file == nullptr) {
        return false;
    }
    percent = file->Volume();
    return true;
}

bool MediaSite::playTime(int& position, int& duration) const {
    position = 0;
    duration = 0;
    VideoFileSource* file = videoFile();
    if (file == nullptr) {
        return false;
    }
    int64_t at = 0, length = 0;
    bool known = file->TimeInfo(&at, &length);
    position = static_cast<int>(at);
    duration = static_cast<int>(length);
    return known;
}

void MediaSite::seek(int position) {
    if (VideoFileSource* file = videoFile()) {
        file->Seek(position);
    }
}

CameraSource* MediaSite::camera(bool second) const {
    return second ? camera2_.source.get() : camera1_.source.get();
}
