#include "cli/JsonReport.h"

#include "settings/SettingText.h"

namespace qm240lx {

QJsonObject JsonReport::port(const PortChoice& choice, const QString& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("port"), choice.com ? QJsonValue(*choice.com) : QJsonValue());
    object.insert(QStringLiteral("device"), device);
    return object;
}

QJsonObject JsonReport::configuration(const PortChoice& choice, const QString& device,
                                      const ConfigBytes& bytes)
{
    QJsonObject object = port(choice, device);
    object.insert(QStringLiteral("h_byte"), bytes.h);
    object.insert(QStringLiteral("d_byte"), bytes.d);
    object.insert(QStringLiteral("p_byte"), bytes.p);
    for (const auto& [group, element] : decodeConfiguration(bytes)) {
        const Setting& setting = settingOf(group);
        object.insert(settingText::key(setting), settingText::json(setting, element));
    }
    return object;
}

QJsonObject JsonReport::foundPort(int com, const QString& device)
{
    return port(PortChoice::comPort(com), device);
}

} // namespace qm240lx
