#include "app/AppStyle.h"

#include "app/AppFont.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace qm240lx {

namespace {

// The "Windows Standard" colour scheme the window was drawn with.
QPalette classicPalette()
{
    const QColor face(212, 208, 200);
    QPalette palette(Qt::black, face, Qt::white, QColor(128, 128, 128), QColor(160, 160, 160),
                     Qt::black, Qt::white, Qt::white, face);
    palette.setColor(QPalette::Midlight, face);
    palette.setColor(QPalette::Shadow, QColor(64, 64, 64));
    palette.setColor(QPalette::Highlight, QColor(10, 36, 106));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    palette.setColor(QPalette::Disabled, QPalette::Base, face);
    return palette;
}

} // namespace

void applyApplicationStyle(QApplication& app)
{
    // The classic style paints button faces in the palette's button colour,
    // as the coloured command buttons need; Fusion does too, were it missing.
    QStyle* style = QStyleFactory::create(QStringLiteral("Windows"));
    app.setStyle(style != nullptr ? style : QStyleFactory::create(QStringLiteral("Fusion")));
    app.setPalette(classicPalette());
    registerAppFonts();
    app.setFont(appFont());
}

} // namespace qm240lx
