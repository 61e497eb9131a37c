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

QJsonObject JsonReport::error(FailureKind kind, const QString& message)
{
    return {{QStringLiteral("error"), QJsonObject{{QStringLiteral("kind"), kindName(kind)},
                                                  {QStringLiteral("message"), message}}}};
}

QString JsonReport::kindName(FailureKind kind)
{
    const std::string_view name = nameOf(kind);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace qm240lx
