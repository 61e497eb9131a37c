#pragma once

#include <QtGlobal>

class QMainWindow;

QT_BEGIN_NAMESPACE
namespace Ui {
class Frm_Dorvex;
}
QT_END_NAMESPACE

namespace qm240lx {

// Gives the window what its form cannot hold: size and place on the screen,
// icon, fonts, colours, the tab band, the status bar panels and the stacking
// of the port frame above the tabs.
void applyWindowLook(QMainWindow& window, Ui::Frm_Dorvex& form);

} // namespace qm240lx
