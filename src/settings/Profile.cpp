#include "settings/Profile.h"

#include "settings/RepeatedKey.h"

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace qm240lx {
namespace {

// How one setting is read from its JSON value and told of.
struct Setting
{
    QString key;
    QString expected;
    std::function<bool(const QJsonValue&, FieldChanges&)> read; // false for a value refused
    std::function<std::optional<QString>(const FieldChanges&, const ConfigFields&)> difference;
};

template <typename T>
Setting setting(const char* key, const char* expected, std::optional<T> FieldChanges::*wanted,
                T ConfigFields::*held, std::optional<T> (*parse)(const QJsonValue&),
                QString (*show)(T))
{
    const QString name = QString::fromLatin1(key);
    return {
        name, QString::fromLatin1(expected),
        [=](const QJsonValue& value, FieldChanges& changes) {
            changes.*wanted = parse(value);
            return (changes.*wanted).has_value();
        },
        [=](const FieldChanges& changes, const ConfigFields& fields) -> std::optional<QString> {
            const std::optional<T>& value = changes.*wanted;
            if (!value || *value == fields.*held)
                return std::nullopt;
            return QStringLiteral("%1 %2, profile %3").arg(name, show(fields.*held), show(*value));
        }};
}

std::optional<int> wholeNumber(const QJsonValue& value)
{
    const double number = value.toDouble(NAN);
    if (!value.isDouble() || !(std::fabs(number) < 1e9) || number != std::floor(number))
        return std::nullopt;
    return static_cast<int>(number);
}

std::optional<int> baudRate(const QJsonValue& value)
{
    const std::optional<int> rate = wholeNumber(value);
    return rate && baudCode(*rate) ? rate : std::nullopt;
}

std::optional<int> slotCount(const QJsonValue& value)
{
    const std::optional<int> count = wholeNumber(value);
    return count && isSlotCount(*count) ? count : std::nullopt;
}

std::optional<int> discoveryTime(const QJsonValue& value)
{
    const std::optional<int> seconds = wholeNumber(value);
    return seconds && isDiscoveryTime(*seconds) ? seconds : std::nullopt;
}

std::optional<bool> flag(const QJsonValue& value)
{
    return value.isBool() ? std::optional<bool>(value.toBool()) : std::nullopt;
}

std::optional<DiscoveryMode> mode(const QJsonValue& value)
{
    return value.isString() ? parseModeName(value.toString()) : std::nullopt;
}

std::optional<PrimaryProtocol> protocol(const QJsonValue& value)
{
    return value.isString() ? parseProtocolName(value.toString()) : std::nullopt;
}

QString number(int value)
{
    return QString::number(value);
}

QString trueFalse(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

const std::vector<Setting>& settings()
{
    static const std::vector<Setting> all{
        setting("baud", "1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200",
                &FieldChanges::baudRate, &ConfigFields::baudRate, baudRate, number),
        setting("ignore_cts", "true or false", &FieldChanges::ignoreCts, &ConfigFields::ignoreCts,
                flag, trueFalse),
        setting("ignore_dsr", "true or false", &FieldChanges::ignoreDsr, &ConfigFields::ignoreDsr,
                flag, trueFalse),
        setting("mode", "\"primary-secondary\" or \"secondary-only\"", &FieldChanges::mode,
                &ConfigFields::mode, mode, modeName),
        setting("slots", "1 or 6", &FieldChanges::discoverySlots, &ConfigFields::discoverySlots,
                slotCount, number),
        setting("discovery_time_s", "1, 2, 3, 4 or 5", &FieldChanges::discoveryTimeS,
                &ConfigFields::discoveryTimeS, discoveryTime, number),
        setting("protocol", "\"ircomm\", \"irlpt\", \"obex\" or \"irsocket\"",
                &FieldChanges::protocol, &ConfigFields::protocol, protocol, protocolName),
    };
    return all;
}

// What `qm240lx read --json` prints besides the settings.
bool isIgnored(const QString& key)
{
    static const QStringList ignored{QStringLiteral("port"), QStringLiteral("device"),
                                     QStringLiteral("h_byte"), QStringLiteral("d_byte"),
                                     QStringLiteral("p_byte")};
    return ignored.contains(key);
}

const Setting* settingNamed(const QString& key)
{
    for (const Setting& setting : settings()) {
        if (setting.key == key)
            return &setting;
    }
    return nullptr;
}

QString settingNames()
{
    QStringList names;
    for (const Setting& setting : settings())
        names << setting.key;
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
    FieldChanges changes;
    for (auto entry = object.begin(); entry != object.end(); ++entry) {
        if (isIgnored(entry.key()))
            continue;
        const Setting* setting = settingNamed(entry.key());
        if (!setting)
            return QStringLiteral("key %1: unknown; expected %2")
                .arg(quoted(entry.key()), settingNames());
        if (!setting->read(entry.value(), changes))
            return QStringLiteral("key %1: %2; expected %3")
                .arg(quoted(entry.key()), quoted(entry.value()), setting->expected);
    }
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
    QStringList found;
    for (const Setting& setting : settings()) {
        if (const std::optional<QString> difference = setting.difference(wanted, held))
            found << *difference;
    }
    return found;
}

} // namespace qm240lx
