#pragma once

#include "app/ErrorBox.h"

namespace qm240lx {

class QtErrorBox : public ErrorBox
{
public:
    void showError(const QString& text, const QString& reason) override;
};

} // namespace qm240lx
