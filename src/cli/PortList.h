#pragma once

#include "cli/CliExit.h"
#include "link/PortChoice.h"

#include <variant>

#include <QByteArray>
#include <QList>
#include <QString>

namespace qm240lx {

// The ports an inventory names, for --port @FILE: one port a line as --port
// takes it; blank lines and lines starting with # are skipped, and so is
// white space around a port.
class PortList
{
public:
    // What is read of an inventory at most.
    static constexpr qsizetype largestBytes = 16 * 1024 * 1024;

    // "@FILE", or "@-" for standard input. A file that cannot be read ends
    // with NoProfile (66); a line that names no port, with Usage (64), naming
    // the file and the line.
    static std::variant<QList<PortChoice>, CliExit> read(const QString& argument);

    // `name` names the inventory in messages.
    static std::variant<QList<PortChoice>, CliExit> parse(const QByteArray& text,
                                                          const QString& name);
};

} // namespace qm240lx
