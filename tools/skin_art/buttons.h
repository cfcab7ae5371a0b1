#pragma once

#include <QColor>
#include <QString>

#include "tools/skin_art/glyphs.h"
#include "tools/skin_art/skin_picture.h"

// How strongly a button asks for attention: ordinary, the main action of its
// place, or a recording/closing action.
enum class Tone { Neutral, Accent, Danger };

// The colours of one button state. Hover is lighter, pressed (also the
// selected look) deeper and accented, disabled grey.
struct FaceLook {
    QColor fill;
    QColor border;
    QColor ink;
};
FaceLook faceLook(Tone tone, int state);

// A rounded push button: its label with an optional glyph before it.
StatePainter textButton(const QString& label, Tone tone, Glyph glyph = {});
// A button that is only a glyph: flat until hovered (neutral, danger), or a
// filled disc (accent).
StatePainter iconButton(Glyph glyph, Tone tone = Tone::Neutral);
// A tab: the glyph above the label, or the label alone. The pressed slice,
// which is also the selected tab, carries an accent bar at its foot.
StatePainter tabButton(const QString& label, Glyph glyph = {});
