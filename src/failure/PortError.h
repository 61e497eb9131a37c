#pragma once

#include "failure/FailureKind.h"

#include <QString>

namespace qm240lx {

// Why a port could not be opened, or why an open port stopped working.
struct PortError
{
    using Kind = FailureKind;

    Kind kind = Kind::None;
    QString device;  // the device path or network address, where one is known
    QString message; // one clear sentence for the user

    bool isError() const { return kind != Kind::None; }
};

} // namespace qm240lx
