#include "naming/NetAddress.h"

#include <QRegularExpression>

namespace qm240lx {

bool NetAddress::isNetworkPort(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(text).hasMatch();
}

std::optional<NetAddress> NetAddress::parse(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([a-z][a-z0-9]*(?:\\+[a-z][a-z0-9]*)*)://"
                       "(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+):([0-9]{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(3).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    NetAddress address;
    address.layers = match.captured(1).toLower().split(QLatin1Char('+'));
    address.host = match.captured(2);
    if (address.host.startsWith(QLatin1Char('[')))
        address.host = address.host.mid(1, address.host.size() - 2);
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

QString NetAddress::text() const
{
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3").arg(layers.join(QLatin1Char('+')), shownHost).arg(port);
}

} // namespace qm240lx
