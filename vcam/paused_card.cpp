#include "vcam/paused_card.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace {
// The picture keeps two fifths of its brightness, enough to recognise it.
constexpr int kDimNumerator = 2;
constexpr int kDimDenominator = 5;

// A font that writes Simplified Chinese, from fontconfig.
bool findCjkFont(std::string* path, int* index) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
        return false;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=zh-cn"));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    bool found = false;
    FcChar8* file = nullptr;
    FcLangSet* languages = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
        FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>("zh-cn")) !=
            FcLangDifferentLang) {
        *path = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_INDEX, 0, index);
        found = true;
    }
    if (match != nullptr) {
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return found;
}

// The code points of UTF-8 text; malformed bytes are skipped.
std::vector<char32_t> codePoints(const std::string& text) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        int length = byte < 0x80         ? 1
                     : (byte >> 5) == 6  ? 2
                     : (byte >> 4) == 14 ? 3
                     : (byte >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + static_cast<size_t>(length) > text.size()) {
            ++i;
            continue;
        }
        char32_t point = length == 1 ? byte : byte & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            point = (point << 6) |
                    (static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0x3F);
        }
        points.push_back(point);
        i += static_cast<size_t>(length);
    }
    return points;
}
}  // namespace

const char* PausedCard::hint(Language language) {
    return language == Language::Chinese ? "已暂停" : "Paused";
}

PausedCard::PausedCard(Language language) : hint_(hint(language)) {
    if (!findCjkFont(&fontPath_, &fontIndex_)) {
        fontPath_.clear();
        return;
    }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        fontPath_.clear();
        return;
    }
    if (FT_New_Face(library, fontPath_.c_str(), fontIndex_, &face) != 0) {
        FT_Done_FreeType(library);
        fontPath_.clear();
        return;
    }
    library_ = library;
    face_ = face;
}

PausedCard::~PausedCard() {
    if (face_ != nullptr) {
        FT_Done_Face(static_cast<FT_Face>(face_));
    }
    if (library_ != nullptr) {
        FT_Done_FreeType(static_cast<FT_Library>(library_));
    }
}

void PausedCard::paint(const uint8_t* picture, size_t rowBytes, int width, int height,
                       uint8_t* card) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = picture + static_cast<size_t>(y) * rowBytes;
        uint8_t* to = card + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < width * 3; ++x) {
            to[x] = static_cast<uint8_t>(from[x] * kDimNumerator / kDimDenominator);
        }
    }
    if (face_ == nullptr) {
        return;
    }
    drawLine(kTitle, height / 10, height / 2, rowBytes, width, height, card);
    drawLine(hint_, height / 20, height / 2 + height / 8, rowBytes, width, height, card);
}

// One line of white text centred across the picture, its baseline `baseline`
// pixels from the top.
void PausedCard::drawLine(const std::string& text, int pixelSize, int baseline, size_t rowBytes,
                          int width, int height, uint8_t* card) {
    auto face = static_cast<FT_Face>(face_);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::max(pixelSize, 8))) != 0) {
        return;
    }
    auto points = codePoints(text);
    long lineWidth = 0;
    for (char32_t point : points) {
        if (FT_Load_Char(face, point, FT_LOAD_DEFAULT) == 0) {
            lineWidth += face->glyph->advance.x >> 6;
        }
    }
    long penX = (width - lineWidth) / 2;
    for (char32_t point : points) {
        if (FT_Load_Char(face, point, FT_LOAD_RENDER) != 0) {
            continue;
        }
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            long line = baseline - face->glyph->bitmap_top + static_cast<long>(row);
            if (line < 0 || line >= height) {
                continue;
            }
            // The card is stored bottom row first.
            uint8_t* out = card + static_cast<size_t>(height - 1 - line) * rowBytes;
            for (unsigned column = 0; column < bitmap.width; ++column) {
                long x = penX + face->glyph->bitmap_left + static_cast<long>(column);
                if (x < 0 || x >= width) {
                    continue;
                }
                int coverage = bitmap.buffer[row * static_cast<unsigned>(bitmap.pitch) + column];
                for (int channel = 0; channel < 3; ++channel) {
                    uint8_t& value = out[static_cast<size_t>(x) * 3 + static_cast<size_t>(channel)];
                    value = static_cast<uint8_t>(value + (255 - value) * coverage / 255);
                }
            }
        }
        penX += face->glyph->advance.x >> 6;
    }
}
