#include "sim/Trace.h"

#include <QRegularExpression>

namespace qm240lx::sim {

namespace {

QString directionName(Trace::Direction direction)
{
    return direction == Trace::Direction::Received ? QStringLiteral("rx") : QStringLiteral("tx");
}

} // namespace

Trace::Trace(std::FILE* stream, bool enabled) : m_stream(enabled ? stream : nullptr) {}

void Trace::log(std::chrono::nanoseconds sinceStart, Direction direction, std::uint8_t byte) const
{
    if (!m_stream)
        return;
    const QByteArray line = (format(sinceStart, direction, byte) + u'\n').toLatin1();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), m_stream);
    std::fflush(m_stream);
}

QString Trace::format(std::chrono::nanoseconds sinceStart, Direction direction, std::uint8_t byte)
{
    const double milliseconds = std::chrono::duration<double, std::milli>(sinceStart).count();
    const QString hex = QString::number(byte, 16).rightJustified(2, u'0').toUpper();
    return QStringLiteral("%1 ms  %2 %3")
        .arg(milliseconds, 9, 'f', 3)
        .arg(directionName(direction), hex);
}

std::optional<Trace::Entry> Trace::parse(QStringView line)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^ *(\d+\.\d{3}) ms  (rx|tx) ([0-9A-F]{2})$)"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return Entry{match.captured(1).toDouble(),
                 match.captured(2) == u"rx" ? Direction::Received : Direction::Sent,
                 static_cast<std::uint8_t>(match.captured(3).toUInt(nullptr, 16))};
}

} // namespace qm240lx::sim
