#include "app/TabBandStyle.h"

namespace qm240lx {

TabBandStyle::TabBandStyle(const QString& baseStyle, QSize tabSize)
    : QProxyStyle(baseStyle), tabSize_(tabSize)
{}

QSize TabBandStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                     const QSize& size, const QWidget* widget) const
{
    if (type == CT_TabBarTab)
        return tabSize_;
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

} // namespace qm240lx
