#pragma once

#include "cli/CliExit.h"
#include "settings/FieldChanges.h"

#include <variant>

#include <QIODevice>
#include <QString>

namespace qm240lx {

// The profile apply takes, read whole and checked before any port opens.
class ProfileFile
{
public:
    // The settings of the profile at `path`; "-" reads standard input. A
    // profile that cannot be read ends with NoProfile, one that is not valid
    // with BadProfile, each with one line naming the file.
    static std::variant<FieldChanges, CliExit> load(const QString& path);

    // The same from an open device, named `name` in the message. A pipe may
    // hand the profile over in pieces: it is read to its end.
    static std::variant<FieldChanges, CliExit> read(QIODevice& input, const QString& name);
};

} // namespace qm240lx
