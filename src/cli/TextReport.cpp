#include "cli/TextReport.h"

#include "settings/ConfigFields.h"

namespace qm240lx {
namespace {

QString row(const char* label, const QString& value)
{
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(label), -18).arg(value);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

QStringList TextReport::configuration(const QString& port, const ConfigBytes& bytes)
{
    const ConfigFields fields = ConfigFields::decode(bytes);
    return {
        row("Port:", port),
        row("Host baud rate:", QStringLiteral("%1 bps").arg(fields.baudRate)),
        row("Ignore CTS:", yesNo(fields.ignoreCts)),
        row("Ignore DSR:", yesNo(fields.ignoreDsr)),
        row("Mode:",
            QStringLiteral("%1 (%2)").arg(modeName(fields.mode), modeCaption(fields.mode))),
        row("Discovery slots:", QString::number(fields.discoverySlots)),
        row("Discovery time:", QStringLiteral("%1 s").arg(fields.discoveryTimeS)),
        row("Primary protocol:", QStringLiteral("%1 (%2)").arg(protocolName(fields.protocol),
                                                               protocolCaption(fields.protocol))),
        row("Raw bytes:", QStringLiteral("H-Byte %1  D-Byte %2  P-Byte %3")
                              .arg(hex(bytes.h), hex(bytes.d), hex(bytes.p))),
    };
}

QString TextReport::hex(std::uint8_t byte)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace qm240lx
