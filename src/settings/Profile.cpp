#include "settings/Profile.h"

#include "settings/RepeatedKey.h"
#include "settings/SettingElements.h"
#include "settings/SettingText.h"

#include <optional>

#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace qm240lx {
namespace {

// The element whose JSON value `value` is; names match whatever their case.
std::optional<int> elementOf(const Setting& setting, const QJsonValue& value)
{
    for (const int element : settingText::sendable(setting)) {
        const QJsonValue own = settingText::json(setting, element);
        const bool same = setting.kind == ValueKind::Word
                              ? value.isString() && value.toString().compare(
                                                        own.toString(), Qt::CaseInsensitive) == 0
                              : value == own;
        if (same)
            return element;
    }
    return std::nullopt;
}

QString expected(const Setting& setting)
{
    QStringList values;
    for (const int element : settingText::sendable(setting)) {
        const QJsonValue value = settingText::json(setting, element);
        values << (value.isString() ? QStringLiteral("\"%1\"").arg(value.toString())
                                    : settingText::plainJson(setting, element));
    }
    return settingText::oneOf(values);
}

// What `qm240lx read --json` prints besides the settings.
bool isIgnored(const QString& key)
{
    static const QStringList ignored{QStringLiteral("port"), QStringLiteral("device"),
                                     QStringLiteral("h_byte"), QStringLiteral("d_byte"),
                                     QStringLiteral("p_byte")};
    return ignored.contains(key);
}

std::optional<std::size_t> settingNamed(const QString& key)
{
    for (std::size_t index = 0; index < settingCount; ++index) {
        if (settingText::key(settingTable[index]) == key)
            return index;
    }
    return std::nullopt;
}

QString settingNames()
{
    QStringList names;
    for (const Setting& setting : settingTable)
        names << settingText::key(setting);
    return names.join(QStringLiteral(", "));
}

// A key or value as JSON writes it, on one line and cut short when long.
QString quoted(const QJsonValue& value)
{
    constexpr qsizetype longest = 40;
    QString text =
        QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    text = text.mid(1, text.size() - 2);
    return text.size() > longest ? text.left(longest) + QStringLiteral("...") : text;
}

// Where the first byte that is not UTF-8 sits; nullopt when all are.
std::optional<qsizetype> firstNonUtf8(const QByteArray& text)
{
    if (QByteArrayView(text).isValidUtf8())
        return std::nullopt;
    qsizetype at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text.at(at));
        const qsizetype length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (at + length > text.size() ||
            !QByteArrayView(text.constData() + at, length).isValidUtf8())
            return at;
        at += length;
    }
    return at;
}

QString kindOf(const QJsonDocument& document)
{
    return document.isArray() ? QStringLiteral("an array") : QStringLiteral("not an object");
}

std::variant<FieldChanges, QString> readObject(const QJsonObject& object)
{
    SettingElements elements;
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        if (isIgnored(entry.key()))
            continue;
        const std::optional<std::size_t> index = settingNamed(entry.key());
        if (!index)
            return QStringLiteral("key %1: unknown; expected %2")
                .arg(quoted(entry.key()), settingNames());
        const Setting& setting = settingTable[*index];
        elements[*index] = elementOf(setting, entry.value());
        if (!elements[*index])
            return QStringLiteral("key %1: %2; expected %3")
                .arg(quoted(entry.key()), quoted(entry.value()), expected(setting));
    }
    const FieldChanges changes = changesFrom(elements);
    if (changes.isEmpty())
        return QStringLiteral("no setting; expected at least one of %1").arg(settingNames());
    return changes;
}

} // namespace

std::variant<FieldChanges, QString> Profile::parse(const QByteArray& text)
{
    if (text.size() > largestBytes)
        return QStringLiteral("more than %1 bytes; expected a profile of at most 64 KiB")
            .arg(largestBytes);
    if (const std::optional<qsizetype> at = firstNonUtf8(text))
        return QStringLiteral("byte %1: not UTF-8; expected UTF-8 text").arg(*at);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("offset %1: %2; expected one JSON object")
            .arg(error.offset)
            .arg(error.errorString());
    if (!document.isObject())
        return QStringLiteral("the top level is %1; expected one JSON object")
            .arg(kindOf(document));
    if (const std::optional<RepeatedKey> repeated = RepeatedKey::find(text))
        return QStringLiteral("key %1: given again at byte %2; expected each key once")
            .arg(quoted(repeated->key))
            .arg(repeated->at);
    return readObject(document.object());
}

QStringList Profile::differences(const FieldChanges& wanted, const ConfigFields& held)
{
    const SettingElements profile = elementsOf(wanted);
    const SettingElements adapter = elementsOf(held);
    QStringList found;
    for (std::size_t index = 0; index < settingCount; ++index) {
        if (!profile[index] || profile[index] == adapter[index])
            continue;
        const Setting& setting = settingTable[index];
        found << QStringLiteral("%1 %2, profile %3")
                     .arg(settingText::key(setting),
                          settingText::plainJson(setting, adapter[index].value_or(0)),
                          settingText::plainJson(setting, *profile[index]));
    }
    return found;
}

} // namespace qm240lx
