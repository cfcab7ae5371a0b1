#include "tools/pendant_art/gif_writer.h"

#include <gif_lib.h>

#include <climits>

GifWriter::GifWriter(QVector<QColor> palette, int delayMs)
    : palette_(std::move(palette)), delayMs_(delayMs) {}

void GifWriter::addFrame(const QImage& frame) {
    width_ = frame.width();
    height_ = frame.height();
    frames_.push_back(indexed(frame.convertToFormat(QImage::Format_ARGB32)));
}

QVector<uint8_t> GifWriter::indexed(const QImage& frame) const {
    QVector<uint8_t> indices(frame.width() * frame.height());
    for (int y = 0; y < frame.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            QRgb pixel = line[x];
            uint8_t best = 0;
            if (qAlpha(pixel) >= 128) {
                int bestDistance = INT_MAX;
                for (int i = 0; i < palette_.size() && i < 255; ++i) {
                    int dr = qRed(pixel) - palette_[i].red();
                    int dg = qGreen(pixel) - palette_[i].green();
                    int db = qBlue(pixel) - palette_[i].blue();
                    int distance = dr * dr + dg * dg + db * db;
                    if (distance < bestDistance) {
                        bestDistance = distance;
                        best = static_cast<uint8_t>(i + 1);
                    }
                }
            }
            indices[y * frame.width() + x] = best;
        }
    }
    return indices;
}

bool GifWriter::save(const QString& path, QString* error) const {
    int status = 0;
    GifFileType* gif = EGifOpenFileName(path.toLocal8Bit().constData(), false, &status);
    if (gif == nullptr) {
        *error = GifErrorString(status);
        return false;
    }
    GifColorType colours[256] = {};
    for (int i = 0; i < palette_.size() && i < 255; ++i) {
        colours[i + 1] = {static_cast<GifByteType>(palette_[i].red()),
                          static_cast<GifByteType>(palette_[i].green()),
                          static_cast<GifByteType>(palette_[i].blue())};
    }
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, width_, height_, 8, 0, map) == GIF_OK;
    // NETSCAPE2.0: loop forever.
    unsigned char loop[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    unsigned char loopCount[] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof loopCount, loopCount) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
    for (const auto& frame : frames_) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_BACKGROUND;  // each frame stands alone
        control.DelayTime = delayMs_ / 10;
        control.TransparentColor = 0;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, width_, height_, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < height_; ++y) {
            ok = EGifPutLine(gif, const_cast<GifByteType*>(frame.constData() + y * width_),
                             width_) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    int writeError = gif->Error;  // read before closing frees the handle
    int closeStatus = 0;
    bool closed = EGifCloseFile(gif, &closeStatus) == GIF_OK;
    if (!ok || !closed) {
        *error = GifErrorString(ok ? closeStatus : writeError);
        return false;
    }
    return true;
}
