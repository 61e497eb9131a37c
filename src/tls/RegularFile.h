#pragma once

#include <sys/types.h>
#include <variant>

#include <QByteArray>
#include <QString>

namespace qm240lx {

// A file read whole only when it is a regular file of at most `limit` bytes:
// a FIFO, a device or a folder is refused on its type alone, before it is
// opened (opening a serial device would raise its lines), so that no read
// waits for a writer or runs on without end. The file is opened without
// blocking and checked once more on the descriptor read from.
class RegularFile
{
public:
    struct Contents
    {
        QByteArray bytes;
        mode_t mode = 0; // of the file read, permissions included
    };

    struct Refusal
    {
        enum
        {
            CannotRead, // `reason` is the system's
            NotRegular, // `reason` names what it is
            TooLarge,
        } kind;
        QString reason;
    };

    static std::variant<Contents, Refusal> read(const QString& path, qint64 limit);
};

} // namespace qm240lx
