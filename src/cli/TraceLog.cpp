#include "cli/TraceLog.h"

#include <cstdio>
#include <memory>
#include <utility>

#include <QElapsedTimer>

namespace qm240lx {
namespace {

QString directionWord(TraceLog::Direction direction)
{
    switch (direction) {
    case TraceLog::Direction::Written:
        return QStringLiteral("wr");
    case TraceLog::Direction::Read:
        return QStringLiteral("rd");
    case TraceLog::Direction::Dropped:
        return QStringLiteral("drop");
    }
    return {};
}

} // namespace

TraceLog::TraceLog(Sink sink, Clock clock) : m_sink(std::move(sink)), m_clock(std::move(clock)) {}

TraceLog TraceLog::toStandardError()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return TraceLog(
        [](const QString& line) {
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
            std::fflush(stderr);
        },
        [timer] { return static_cast<double>(timer->nsecsElapsed()) / 1e6; });
}

void TraceLog::bytes(const QString& port, Direction direction, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    write(port, directionWord(direction) + QLatin1Char(' ') +
                    QString::fromLatin1(bytes.toHex(' ').toUpper()));
}

void TraceLog::text(const QString& port, const QString& text)
{
    auto last = m_lastText.find(port);
    if (last != m_lastText.end() && *last == text)
        return;
    m_lastText.insert(port, text);
    QString oneLine = text.trimmed();
    oneLine.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    write(port, QStringLiteral("| ") + oneLine);
}

void TraceLog::write(const QString& port, const QString& what)
{
    m_sink(QStringLiteral("%1 ms  %2 %3").arg(m_clock(), 9, 'f', 3).arg(port, what));
}

} // namespace qm240lx
