#pragma once

#include <QString>

#include <memory>

#include "sources/delivered_source.h"

class PicEngine;

// A slideshow of pictures as a source. Its type is that of a still picture,
// so camera-only effects leave it alone.
//
// Threads: every call comes from the user-interface thread; frames arrive on
// the slideshow's thread.
class PicFileSource : public DeliveredSource {
public:
    PicFileSource();
    ~PicFileSource() override;

    // Non-zero: list order, repeating; 0: random. Kept as given.
    void SetPlaySequence(int32_t sequence);
    int32_t PlaySequence() const;
    void SetCurrentPicture(const QString& path);
    void SetKeepRatio(bool keep);
    void SetShowTime(int32_t milliseconds);
    void AddPicture(const QString& path);
    void RemovePicture(const QString& path);
    void RemoveAllPictures();
    // Pictures of another size: the slideshow starts again at its picture.
    void SetFrameSize(int32_t width, int32_t height) override;

protected:
    int32_t StartDelivery(bool wasRunning) override;  // -1 when the slideshow cannot run
    void StopDelivery() override;

private:
    std::unique_ptr<PicEngine> engine_;
    int32_t playSeq_ = 0;
};
