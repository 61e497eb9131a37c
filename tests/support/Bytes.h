#pragma once

#include <string>

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

// `wire`, the bytes a host sent, with each read command (0xAD) that directly
// follows another dropped. A set command's value byte is never taken for one.
inline QByteArray withoutRepeatedReads(const QByteArray& wire)
{
    constexpr char read = '\xAD';
    const QByteArray setOpcodes = QByteArray::fromHex("aeaaab");
    QByteArray kept;
    bool afterRead = false;
    for (qsizetype index = 0; index < wire.size(); ++index) {
        const char byte = wire[index];
        if (byte != read || !afterRead)
            kept += byte;
        if (setOpcodes.contains(byte) && index + 1 < wire.size())
            kept += wire[++index];
        afterRead = byte == read;
    }
    return kept;
}

// Bytes as hex pairs, for comparisons whose failures print them whole.
inline std::string hex(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

} // namespace qm240lx::test
