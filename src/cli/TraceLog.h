#pragma once

#include <functional>

#include <QByteArray>
#include <QHash>
#include <QString>

namespace qm240lx {

// The --trace log: one line per write, read or drop of bytes on a port, and
// per progress text, stamped with milliseconds since the log began:
//     "   201.356 ms  COM3 wr AC"
//     "   203.011 ms  COM3 rd FA"
//     "   203.020 ms  COM3 drop 05 06"
//     "   203.020 ms  COM3 | Velorin QM240LX READY."
class TraceLog
{
public:
    enum class Direction
    {
        Written,
        Read,
        Dropped, // received, then thrown away unread by a command
    };

    using Sink = std::function<void(const QString& line)>;
    using Clock = std::function<double()>; // milliseconds since the log began

    TraceLog(Sink sink, Clock clock);

    // A log on standard error, timed from now.
    static TraceLog toStandardError();

    void bytes(const QString& port, Direction direction, const QByteArray& bytes);

    // A progress text; a text that repeats the port's previous one is left out.
    void text(const QString& port, const QString& text);

private:
    void write(const QString& port, const QString& what);

    Sink m_sink;
    Clock m_clock;
    QHash<QString, QString> m_lastText;
};

} // namespace qm240lx
