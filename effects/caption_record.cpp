#include "effects/caption_record.h"

#include <QMap>
#include <QStringList>

namespace {
constexpr const char* kColonEscape = "&nbnb";
constexpr const char* kSemicolonEscape = "&nbcb";

uint32_t argbOf(const QColor& colour) { return static_cast<uint32_t>(colour.rgba()); }

int32_t directionOf(int scrollMode) {
    switch (scrollMode) {
        case 0:
            return 1;  // still
        case 1:
            return 0;  // to the right
        default:
            return 2;  // to the left
    }
}
}  // namespace

const TextParamInfo* CaptionRecord::param() {
    textParam.szText = reinterpret_cast<const char16_t*>(text.utf16());
    textParam.szFont = reinterpret_cast<const char16_t*>(font.utf16());
    return &textParam;
}

CaptionRecord buildCaptionRecord(const CaptionControls& controls) {
    CaptionRecord record;
    record.textParam.clrText = argbOf(controls.textColour);
    record.scroll.clrBk = argbOf(controls.backgroundColour);
    record.font = controls.fontFamily;
    record.text = controls.text;
    record.textParam.point = controls.sizeText.toInt();
    record.scroll.useBk = true;
    int transparency = controls.transparency;
    if (transparency == 255) {
        record.scroll.useBk = false;
    } else {
        record.scroll.clrBk &= (static_cast<uint32_t>(255 - transparency) << 24) | 0x00FFFFFFu;
    }
    record.scroll.direct = directionOf(controls.scrollMode);
    record.scroll.pos = 1;
    record.scroll.speed = 30;
    record.scroll.spacing = 5;
    return record;
}

QString encodeCaptionRecord(const CaptionRecord& record) {
    QMap<QString, QString> entries;
    entries["bopen"] = record.bopen ? "1" : "0";
    entries["clrBk"] = QString::number(record.scroll.clrBk);
    entries["clrText"] = QString::number(record.textParam.clrText);
    entries["direct"] = QString::number(record.scroll.direct);
    entries["offset"] = QString::number(record.scroll.offset);
    entries["point"] = QString::number(record.textParam.point);
    entries["pos"] = QString::number(record.scroll.pos);
    entries["speed"] = QString::number(record.scroll.speed);
    entries["szFont"] = record.font;
    QString text = record.text;
    text.replace(":", kColonEscape).replace(";", kSemicolonEscape);
    entries["szText"] = text;
    entries["useBk"] = record.scroll.useBk ? "1" : "0";
    QString stored;
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        stored += entry.key() + ":" + entry.value() + ";";
    }
    return stored;
}

CaptionRecord decodeCaptionRecord(const QString& stored, const CaptionRecord& defaults) {
    CaptionRecord record = defaults;
    for (const QString& piece : stored.split(';', Qt::SkipEmptyParts)) {
        QStringList parts = piece.split(':', Qt::SkipEmptyParts);
        if (parts.size() != 2) {
            continue;
        }
        const QString& key = parts[0];
        const QString& value = parts[1];
        if (key == "bopen") {
            record.bopen = value == "1";
        } else if (key == "clrBk") {
            record.scroll.clrBk = value.toUInt();
        } else if (key == "clrText") {
            record.textParam.clrText = value.toUInt();
        } else if (key == "direct") {
            record.scroll.direct = value.toInt();
        } else if (key == "offset") {
            record.scroll.offset = value.toInt();
        } else if (key == "point") {
            record.textParam.point = value.toInt();
        } else if (key == "pos") {
            record.scroll.pos = value.toInt();
        } else if (key == "speed") {
            record.scroll.speed = value.toInt();
        } else if (key == "szFont") {
            record.font = value;
        } else if (key == "szText") {
            record.text = QString(value).replace(kColonEscape, ":").replace(kSemicolonEscape, ";");
        } else if (key == "useBk") {
            record.scroll.useBk = value == "1";
        }
    }
    return record;
}

bool isStorableCaptionText(const QString& text) {
    return !text.contains(kColonEscape) && !text.contains(kSemicolonEscape);
}
