#pragma once

#include <QString>

namespace qm240lx {

// The modal "Error" box with the exclamation icon and one OK button.
class ErrorBox
{
public:
    virtual ~ErrorBox() = default;

    // `reason` says what went wrong in the system's words (device, error).
    virtual void showError(const QString& text, const QString& reason) = 0;
};

} // namespace qm240lx
