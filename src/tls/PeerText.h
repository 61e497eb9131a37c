#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace qm240lx {

// Text a server chose (a certificate's names, an alert's wording) made fit
// for a terminal and a log line: every control or format character written
// as an escape (\x1b, \u202e), a backslash doubled, and the whole cut to a
// bound with "..." at the cut. The result is one line, and an escape is never
// cut in half.
class PeerText
{
public:
    // Enough for a host name of 253 characters with room for its escapes.
    static constexpr qsizetype textLimit = 300;
    // Enough for a dozen names; the rest are counted.
    static constexpr qsizetype listLimit = 600;

    static QString printable(QStringView text, qsizetype limit = textLimit);

    // The names joined by ", ", each printable; those beyond `limit` are
    // counted instead: "a, b and 2998 more".
    static QString list(const QStringList& names, qsizetype limit = listLimit);
};

} // namespace qm240lx
