#pragma once
// The program's icon (the same drawing as resources/velt.svg) and the window's fonts.

#include <QFont>
#include <QIcon>
#include <QImage>

namespace velt {

QIcon veltIcon();
// The icon drawn at one size (no application object needed).
QImage iconImage(int size);

// "ＭＳ Ｐゴシック" where it is installed, otherwise a Japanese gothic font of the desktop.
QFont gothicFont(int pointSize, bool bold);

// `font` with Japanese fonts behind it, so that kana and kanji take Japanese glyph forms.
QFont withJapaneseFallback(const QFont& font);

}  // namespace velt
