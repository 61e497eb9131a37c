#include "app/WindowLook.h"

#include "app/AppFont.h"
#include "app/ClockPanel.h"
#include "app/TabBandStyle.h"
#include "ui_Frm_Dorvex.h"

#include <array>

#include <QApplication>
#include <QFrame>
#include <QIcon>
#include <QScreen>

namespace qm240lx {

namespace {

constexpr int twipsPerPixel = 15;

constexpr int pixels(int twips)
{
    return (twips + twipsPerPixel / 2) / twipsPerPixel;
}

constexpr QSize clientSize{pixels(8115), pixels(7290)};
constexpr int tabBandHeight = pixels(500);
constexpr int statusBarHeight = pixels(345);
constexpr int statusPanelTop = 2;

const QColor inactiveBorder(212, 208, 200);
const QColor tabBackground(224, 224, 224);
const QColor sendFace(192, 255, 192);
const QColor saveFace(192, 192, 255);
const QColor titleText(0, 0, 192);
const QColor releaseText(192, 64, 0);

QList<QGroupBox*> frames(const Ui::Frm_Dorvex& form)
{
    return {form.Frame1, form.Frame2, form.Frame3, form.Frame4,
            form.Frame5, form.Frame6, form.Frame7, form.Frame8};
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void fillWith(QWidget* widget, const QColor& colour)
{
    setColour(widget, QPalette::Window, colour);
    widget->setAutoFillBackground(true);
}

void placeWindow(QMainWindow& window)
{
    window.setFixedSize(clientSize);
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    QIcon icon;
    icon.addFile(QStringLiteral(":/qm240lx/icons/qm240lx-16.png"));
    icon.addFile(QStringLiteral(":/qm240lx/icons/qm240lx-32.png"));
    window.setWindowIcon(icon);
}

// Frames are bold, the controls inside them keep the window font.
void applyFonts(QMainWindow& window, const Ui::Frm_Dorvex& form)
{
    const QFont regular = appFont();
    const QFont bold = appFont(windowFontSize, true);
    window.setFont(regular);
    for (QGroupBox* frame : frames(form)) {
        frame->setFont(bold);
        for (QWidget* control : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            control->setFont(regular);
    }
    form.Cmd_SaveConfig->setFont(bold);
    form.Label2->setFont(bold);
    form.Label4->setFont(bold);
    form.Label1->setFont(appFont(titleFontSize));
}

void applyColours(QMainWindow& window, const Ui::Frm_Dorvex& form)
{
    setColour(&window, QPalette::Window, inactiveBorder);
    fillWith(form.SSTab1, tabBackground);
    setColour(form.SSTab1, QPalette::Button, tabBackground);
    for (QGroupBox* frame : frames(form))
        fillWith(frame, inactiveBorder);
    for (QPushButton* send : {form.CmdSend, form.Send_D, form.Send_P})
        setColour(send, QPalette::Button, sendFace);
    setColour(form.Cmd_SaveConfig, QPalette::Button, saveFace);
    fillWith(form.Label1, Qt::white);
    setColour(form.Label1, QPalette::WindowText, titleText);
    setColour(form.Label2, QPalette::WindowText, releaseText);
    setColour(form.Label4, QPalette::WindowText, releaseText);
}

// One row of equal tabs over the whole width, the band as high as designed,
// so that the controls on the pages sit where they were placed.
void shapeTabBand(QTabWidget& tabs)
{
    QTabBar* band = tabs.tabBar();
    auto* style = new TabBandStyle(QApplication::style()->name(),
                                   QSize(tabs.width() / tabs.count(), tabBandHeight));
    style->setParent(band);
    band->setStyle(style);
    band->setUsesScrollButtons(false);
    band->setElideMode(Qt::ElideNone);
}

// The panels sit where the design puts them. Added to the QStatusBar's own
// layout they would be 6 px apart and make the bar wider than the window.
void placePanel(QLabel& panel, int number, int leftTwips, int widthTwips)
{
    panel.setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(number));
    panel.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const int left = pixels(leftTwips);
    panel.setGeometry(left, statusPanelTop, pixels(leftTwips + widthTwips) - left,
                      statusBarHeight - statusPanelTop);
}

void addStatusPanels(QStatusBar& bar)
{
    bar.setFixedHeight(statusBarHeight);
    const std::array<QLabel*, 4> panels{
        new QLabel(QStringLiteral("Communication Setting Tool for VEL- QM240LX"), &bar),
        new ClockPanel(ClockPanel::Shows::Date, &bar),
        new ClockPanel(ClockPanel::Shows::Time, &bar),
        new QLabel(QStringLiteral("Velorin"), &bar),
    };
    constexpr std::array widthsTwips{3741, 1440, 1440, 1440};
    int leftTwips = 0;
    for (size_t index = 0; index < panels.size(); ++index) {
        placePanel(*panels[index], int(index) + 1, leftTwips, widthsTwips[index]);
        leftTwips += widthsTwips[index];
    }
}

} // namespace

void applyWindowLook(QMainWindow& window, Ui::Frm_Dorvex& form)
{
    placeWindow(window);
    applyFonts(window, form);
    applyColours(window, form);
    shapeTabBand(*form.SSTab1);
    addStatusPanels(*form.StatusBar1);
    form.Frame1->raise();
}

} // namespace qm240lx
