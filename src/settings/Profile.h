#pragma once

#include "settings/ConfigFields.h"
#include "settings/FieldChanges.h"

#include <variant>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qm240lx {

// A configuration profile: a JSON object with any of the settings under the
// keys `qm240lx read --json` prints, those of settingTable. The other keys that command prints
// (port, device, h_byte, d_byte, p_byte) are allowed and ignored, so its
// output is a profile; every other key, and any key given twice, is an error.
class Profile
{
public:
    // A profile is a small file; a larger one is refused unread.
    static constexpr qsizetype largestBytes = 64 * 1024;

    // The settings of a UTF-8 JSON text; or one line telling where the text
    // goes wrong and what was expected there ("key \"baud\": 9601; expected
    // 1200, 2400, ...").
    static std::variant<FieldChanges, QString> parse(const QByteArray& text);

    // One entry per setting of `wanted` that `held` does not match, named as
    // in a profile: "baud 9600, profile 57600".
    static QStringList differences(const FieldChanges& wanted, const ConfigFields& held);
};

} // namespace qm240lx
