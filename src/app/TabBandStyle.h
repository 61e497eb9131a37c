#pragma once

#include <QProxyStyle>

namespace qm240lx {

// Gives every tab of a tab bar the same fixed size, so that a row of tabs
// fills its band like the tabbed dialog the window was designed with.
class TabBandStyle : public QProxyStyle
{
    Q_OBJECT

public:
    TabBandStyle(const QString& baseStyle, QSize tabSize);

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;

private:
    QSize m_tabSize;
};

} // namespace qm240lx
