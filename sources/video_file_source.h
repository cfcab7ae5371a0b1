#pragma once

#include <QString>

#include <memory>

#include "sources/delivered_source.h"

class StreamCapture;

// Volume as the user interface shows it, 0..100 %, and as the player keeps
// it, -10,000 (silent) ..0 hundredths of a decibel.
int32_t volumePercentToLevel(int32_t percent);
int32_t volumeLevelToPercent(int32_t level);

// A play list of video files as a source: a thin adapter over the player. At
// the end of each file the frame stops being valid (the graph shows the
// placeholder) until the next file delivers.
//
// Threads: every call comes from the user-interface thread; frames and the
// stream end arrive on the player's threads.
class VideoFileSource : public DeliveredSource {
public:
    // The decoder preferences for every player of the process.
    static void SetFilterDescription(const QString& path);

    VideoFileSource();
    ~VideoFileSource() override;

    // 1 plays the list in order, over and over; anything else in random
    // order. The mode is kept as given.
    void SetPlayMode(int32_t mode);
    int32_t PlayMode() const;
    void AddFile(const QString& path);
    void RemoveFile(const QString& path);
    void RemoveAllFiles();
    QString CurrentFile() const;
    void SetCurrentFile(const QString& path);
    // Milliseconds; false while unknown.
    bool TimeInfo(int64_t* position, int64_t* duration);
    bool Seek(int32_t milliseconds);
    void Mute(bool mute);
    int32_t Volume() const;
    void SetVolume(int32_t percent);

    StreamCapture& Player();

    // Pictures of another size: a playing file goes on from where it was.
    void SetFrameSize(int32_t width, int32_t height) override;
    // The player hands over at most as many frames a second as the graph
    // takes (0: every frame): the rest would never be shown. Told before the
    // size, so the player made for a new size already has the new cap, and
    // applied at once to a file playing on.
    void SetFrameRate(int32_t fps) override;

protected:
    int32_t StartDelivery(bool wasRunning) override;
    void StopDelivery() override;

private:
    std::unique_ptr<StreamCapture> player_;
    int32_t playMode_ = 0;
};
