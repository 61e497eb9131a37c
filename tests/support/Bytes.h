#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qm240lx::test {

// Bytes written as hex digits, blanks allowed: "acad ae06".
inline QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// A command line's words, split at blanks.
inline QStringList words(const char* line)
{
    return QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
}

} // namespace qm240lx::test
