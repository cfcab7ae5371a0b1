#pragma once

#include <QColor>
#include <QString>

#include "libs/overlay/text_effect32.h"

// What the caption panel's controls hold.
struct CaptionControls {
    QColor textColour;
    QColor backgroundColour;
    QString fontFamily;
    QString text;
    QString sizeText;      // the size box's text, read as a decimal number
    int transparency = 0;  // background transparency slider, 0..255
    int scrollMode = 0;    // 0 "静止", 1 "向右滚动", 2 "向左滚动"
};

// The caption's whole setting: on or off, and the overlay library's two
// records. The texts live here; param() points the record at them, so a
// record taken from param() is valid while this object is unchanged.
struct CaptionRecord {
    bool bopen = false;
    QString text;
    QString font;
    TextParamInfo textParam;  // its two text pointers are filled in by param()
    TextScrollInfo scroll;

    const TextParamInfo* param();
};

// The records from the controls, exactly as the panel builds them: full
// transparency turns the background off; otherwise the background's alpha is
// limited to 255 - transparency. `bopen` is left false.
CaptionRecord buildCaptionRecord(const CaptionControls& controls);

// The caption as the settings store keeps it (slot effect_2): entries
// "key:value;" in key order, the text with ":" written "&nbnb" and ";"
// written "&nbcb".
QString encodeCaptionRecord(const CaptionRecord& record);
// Reads a stored caption over `defaults`: unknown keys are ignored, an empty
// text keeps the default text.
CaptionRecord decodeCaptionRecord(const QString& stored, const CaptionRecord& defaults);
// Whether a caption text survives the stored form unchanged: texts holding
// "&nbnb" or "&nbcb" themselves would come back altered, so the panel refuses
// them.
bool isStorableCaptionText(const QString& text);
