#pragma once

#include <functional>

#include <QString>

namespace qm240lx {

// Where a command reports its progress and outcome: the window's result box,
// or nowhere for the command-line tool.
using ShowText = std::function<void(const QString&)>;

} // namespace qm240lx
