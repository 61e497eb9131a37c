#include "app/WrappingPushButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace qm240lx {

QRect WrappingPushButton::captionArea() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return captionArea(option);
}

QRect WrappingPushButton::captionArea(const QStyleOptionButton& option) const
{
    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (option.state & (QStyle::State_Sunken | QStyle::State_On)) {
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    return area;
}

int WrappingPushButton::captionFlags() const
{
    int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this))
        flags |= Qt::TextHideMnemonic;
    return flags;
}

void WrappingPushButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect area = captionArea(option);
    // The style draws bevel and focus frame; the caption it would draw on one line.
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.drawItemText(area, captionFlags(), palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

} // namespace qm240lx
