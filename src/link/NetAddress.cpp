#include "link/NetAddress.h"

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
        QStringLiteral(
            "^(rfc2217|tcp)(\\+tls)?://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+):([0-9]{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(4).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    NetAddress address;
    address.kind = match.captured(1).compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0
                       ? Kind::RawTcp
                       : Kind::Rfc2217;
    address.tls = match.hasCaptured(2);
    address.host = match.captured(3);
    if (address.host.startsWith(QLatin1Char('[')))
        address.host = address.host.mid(1, address.host.size() - 2);
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

QString NetAddress::text() const
{
    const QString scheme =
        (kind == Kind::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp")) +
        (tls ? QStringLiteral("+tls") : QString());
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, shownHost).arg(port);
}

} // namespace qm240lx
