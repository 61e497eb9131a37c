#include "app/TabOrder.h"

#include <QString>
#include <QWidget>

namespace qm240lx {

void applyTabOrder(QWidget& window)
{
    QWidget* previous = nullptr;
    for (const std::string_view name : tabOrder) {
        auto* control =
            window.findChild<QWidget*>(QString::fromLatin1(name.data(), qsizetype(name.size())));
        if (control == nullptr || control->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous != nullptr)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

} // namespace qm240lx
