#include "app/QtErrorBox.h"

#include <QApplication>
#include <QMessageBox>

namespace qm240lx {

void QtErrorBox::showError(const QString& text, const QString& reason)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setInformativeText(reason);
    box.exec();
}

} // namespace qm240lx
