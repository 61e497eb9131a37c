#include "settings/SettingText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace qm240lx::settingText {
namespace {

const SettingValue& valueAt(const Setting& setting, int element)
{
    return setting.values[static_cast<std::size_t>(element)];
}

} // namespace

QString key(const Setting& setting)
{
    return QString::fromLatin1(setting.key);
}

QString name(const Setting& setting, int element)
{
    return QString::fromLatin1(valueAt(setting, element).name);
}

QJsonValue json(const Setting& setting, int element)
{
    const QString text = name(setting, element);
    switch (setting.kind) {
    case ValueKind::Number:
        return text.toInt();
    case ValueKind::Flag:
        return isYes(valueAt(setting, element));
    case ValueKind::Word:
        break;
    }
    return text;
}

QString plainJson(const Setting& setting, int element)
{
    const QJsonValue value = json(setting, element);
    if (value.isString())
        return value.toString();
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString shown(const Setting& setting, int element)
{
    QString text = QString::fromLatin1(setting.shown);
    text.replace(QLatin1String("%2"), QString::fromLatin1(valueAt(setting, element).caption));
    return text.replace(QLatin1String("%1"), name(setting, element));
}

std::vector<int> sendable(const Setting& setting)
{
    std::vector<int> elements;
    for (int element = 0; element < static_cast<int>(setting.values.size()); ++element) {
        if (valueAt(setting, element).code)
            elements.push_back(element);
    }
    return elements;
}

QStringList names(const Setting& setting)
{
    QStringList found;
    for (const int element : sendable(setting))
        found << name(setting, element);
    return found;
}

QString oneOf(const QStringList& items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.first(items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
           items.last();
}

} // namespace qm240lx::settingText
