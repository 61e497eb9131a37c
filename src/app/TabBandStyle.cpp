#include "app/TabBandStyle.h"

namespace qm240lx {

TabBandStyle::TabBandStyle(const QString& baseStyle, QSize tabSize)
    : QProxyStyle(baseStyle), m_tabSize(tabSize)
{}

QSize TabBandStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                     const QSize& size, const QWidget* widget) const
{
    if (type == CT_TabBarTab)
        return m_tabSize;
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

} // namespace qm240lx
