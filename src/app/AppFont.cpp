#include "app/AppFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace qm240lx {

namespace {

const QString tahomaFile = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");

QStringList families(bool bold)
{
    if (bold)
        return {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    return {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
            QStringLiteral("DejaVu Sans")};
}

} // namespace

void registerAppFonts()
{
    static const int id = QFontDatabase::addApplicationFont(tahomaFile);
    Q_UNUSED(id);
}

QFont appFont(qreal pointSize, bool bold)
{
    QFont font;
    font.setFamilies(families(bold));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(false);
    return font;
}

} // namespace qm240lx
