#pragma once

#include <QFont>

namespace qm240lx {

// The window was designed in "MS Sans Serif", which Linux lacks and which
// fontconfig would replace by the much wider DejaVu Sans. Tahoma keeps the
// widths of the design within a few pixels, so captions fit their controls.
inline constexpr qreal windowFontSize = 8.25;
inline constexpr qreal titleFontSize = 13.5;

// Makes the Tahoma file known to Qt; it is not on fontconfig's path.
// Safe to call more than once.
void registerAppFonts();

// Tahoma, falling back to Liberation Sans and DejaVu Sans. Bold is
// Liberation Sans Bold: Wine's Tahoma Bold is hardly heavier than the
// regular face and leaves gaps after some glyphs ("03/ 10/ 2008").
QFont appFont(qreal pointSize = windowFontSize, bool bold = false);

} // namespace qm240lx
