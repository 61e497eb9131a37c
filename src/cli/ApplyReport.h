#pragma once

#include "cli/CommandResult.h"
#include "cli/PortApply.h"

#include <vector>

#include <QString>
#include <QStringList>

namespace qm240lx {

// What a command given many ports prints: a line per port as it ends, then
// a summary, or one JSON object {"ports": [...]}; and how it ends.
class ApplyReport
{
public:
    // "COM3: configured: h_byte set, saved into flash"
    // "COM3: baud 9600, profile 57600"
    // "COM3: ready"
    static QString line(const PortApply::Outcome& outcome);

    // What configuring the adapter did: "h_byte set", "saved into flash";
    // empty when it did nothing.
    static QStringList configuredParts(const PortApply::Outcome& outcome);

    // The failure's text without the port's description it mostly begins
    // with.
    static QString failureText(const PortApply::Outcome& outcome);

    // The summary ("3 adapters: 2 configured, 1 failed"), the JSON and the
    // exit code: the code of the first failed port in `outcomes`; otherwise
    // Differs when an adapter differs; otherwise success.
    static CommandResult result(const std::vector<PortApply::Outcome>& outcomes,
                                PortApply::Step step);
};

} // namespace qm240lx
