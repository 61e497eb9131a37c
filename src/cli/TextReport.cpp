#include "cli/TextReport.h"

#include "settings/SettingText.h"

namespace qm240lx {
namespace {

QString row(const QString& label, const QString& value)
{
    return QStringLiteral("%1 %2").arg(label + QLatin1Char(':'), -18).arg(value);
}

} // namespace

QStringList TextReport::configuration(const QString& port, const ConfigBytes& bytes)
{
    QStringList lines{row(QStringLiteral("Port"), port)};
    for (const auto& [group, element] : decodeConfiguration(bytes)) {
        const Setting& setting = settingOf(group);
        lines << row(QString::fromLatin1(setting.label), settingText::shown(setting, element));
    }
    lines << row(QStringLiteral("Raw bytes"), QStringLiteral("H-Byte %1  D-Byte %2  P-Byte %3")
                                                  .arg(hex(bytes.h), hex(bytes.d), hex(bytes.p)));
    return lines;
}

QString TextReport::settings(const ConfigBytes& bytes)
{
    QStringList settings;
    for (const auto& [group, element] : decodeConfiguration(bytes)) {
        const Setting& setting = settingOf(group);
        settings << settingText::key(setting) + QLatin1Char(' ') +
                        settingText::name(setting, element);
    }
    return settings.join(QStringLiteral(", ")) + QStringLiteral("; H-Byte %1 D-Byte %2 P-Byte %3")
                                                     .arg(hex(bytes.h), hex(bytes.d), hex(bytes.p));
}

QString TextReport::hex(std::uint8_t byte)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace qm240lx
