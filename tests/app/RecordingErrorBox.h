#pragma once

#include "app/ErrorBox.h"

#include <QStringList>

namespace qm240lx::test {

// Keeps the boxes the window would have shown.
class RecordingErrorBox : public ErrorBox
{
public:
    void showError(const QString& text, const QString& reason) override
    {
        texts.append(text);
        reasons.append(reason);
    }

    QStringList texts;
    QStringList reasons;
};

} // namespace qm240lx::test
