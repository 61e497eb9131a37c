#include "cli/JsonReport.h"

#include "settings/ConfigFields.h"

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
    const ConfigFields fields = ConfigFields::decode(bytes);
    QJsonObject object = port(choice, device);
    object.insert(QStringLiteral("h_byte"), bytes.h);
    object.insert(QStringLiteral("d_byte"), bytes.d);
    object.insert(QStringLiteral("p_byte"), bytes.p);
    object.insert(QStringLiteral("baud"), fields.baudRate);
    object.insert(QStringLiteral("ignore_cts"), fields.ignoreCts);
    object.insert(QStringLiteral("ignore_dsr"), fields.ignoreDsr);
    object.insert(QStringLiteral("mode"), modeName(fields.mode));
    object.insert(QStringLiteral("slots"), fields.discoverySlots);
    object.insert(QStringLiteral("discovery_time_s"), fields.discoveryTimeS);
    object.insert(QStringLiteral("protocol"), protocolName(fields.protocol));
    return object;
}

QJsonObject JsonReport::foundPort(int com, const QString& device)
{
    return port(PortChoice::comPort(com), device);
}

} // namespace qm240lx
