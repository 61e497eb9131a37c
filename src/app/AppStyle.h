#pragma once

class QApplication;

namespace qm240lx {

// The look shared by the program and its tests: a widget style that paints
// command buttons in their palette colour, the classic Windows system
// colours, and the window font.
void applyApplicationStyle(QApplication& app);

} // namespace qm240lx
