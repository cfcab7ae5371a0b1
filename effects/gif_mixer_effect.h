#pragma once

#include <memory>
#include <string>

#include "engine/video_effect.h"

class PicEffect32;

// The pendant: an animated picture over every frame. The overlay library's
// object, with the GIF decoded, is made with the effect (on the thread that
// chooses the pendant, never the graph's worker) for the graph's picture
// size, and lives as long as the effect; another pendant is another effect.
//
// Threads: the user-interface thread makes and destroys the effect outside
// any chain; everything else happens on the graph's worker inside the
// chain's lock, so the effect needs no lock of its own.
class GifMixerEffect : public VideoEffect {
public:
    // Decoded for pictures of width x height; the pendant is drawn as large
    // against the picture's height as on a 640 x 480 picture.
    explicit GifMixerEffect(const std::wstring& path, int32_t width = VideoFrame::kWidth,
                            int32_t height = VideoFrame::kHeight);
    ~GifMixerEffect() override;

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;
    void setMethod(int method);
    void setSpeed(float speed);

    bool hasLibraryObject() const { return picture_ != nullptr; }
    PicEffect32* libraryObject() const { return picture_.get(); }
    const std::wstring& path() const { return path_; }

private:
    // Method first, then speed, to the library object when it exists.
    void passSettings();

    std::unique_ptr<PicEffect32> picture_;
    std::wstring path_;
    int method_ = 1;
    float speed_ = 1.0f;
};
