#pragma once

#include <QStringList>
#include <functional>

// The font families the caption editor offers, in the order given: never a
// vertical font (its name holds "@") nor any family with "Adobe" in its name
// (any letter case); of the rest, those named in a non-Latin script, and,
// because fontconfig names even Chinese fonts in Latin letters, those that
// can write Simplified Chinese.
QStringList captionFontFamilies(const QStringList& families,
                                const std::function<bool(const QString&)>& writesChinese);

// The same over the fonts installed on this machine.
QStringList installedCaptionFontFamilies();
