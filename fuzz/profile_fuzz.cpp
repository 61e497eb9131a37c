// Feeds arbitrary bytes to the profile parser and traps when it accepts a
// value outside its setting's range, a profile without a setting, or one
// with a key given twice.

#include "Require.h"
#include "settings/Profile.h"
#include "settings/SettingElements.h"

#include <cstdint>
#include <cstdio>
#include <variant>

#include <QJsonDocument>
#include <QJsonObject>

namespace {

using namespace qm240lx;

using fuzz::require;

void checkRanges(const FieldChanges& changes)
{
    require(!changes.isEmpty(), "a profile without a setting was accepted");
    require(changesFrom(elementsOf(changes)) == changes,
            "a value that is none of its setting's values was accepted");
}

// The members of the top-level object, counted by the commas between them:
// the keys a reader that keeps the last of two equal ones would see, and
// those it would not.
qsizetype topLevelMembers(const QByteArray& text)
{
    qsizetype commas = 0;
    int depth = 0;
    bool inString = false;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char byte = text.at(at);
        if (inString) {
            at += byte == '\\' ? 1 : 0;
            inString = byte != '"';
        } else if (byte == '"') {
            inString = true;
        } else if (byte == '{' || byte == '[') {
            ++depth;
        } else if (byte == '}' || byte == ']') {
            --depth;
        } else if (byte == ',' && depth == 1) {
            ++commas;
        }
    }
    return commas + 1;
}

// Each key of an accepted profile is there once, and the same profile with
// its first key given once more is refused, naming that key.
void checkKeysOnce(const QByteArray& text)
{
    const QJsonObject object = QJsonDocument::fromJson(text).object();
    require(topLevelMembers(text) == object.size(),
            "a profile with a key given twice was accepted");
    const QString key = object.begin().key();
    const qsizetype brace = text.indexOf('{');
    const QByteArray again =
        text.left(brace + 1) +
        QJsonDocument(QJsonObject{{key, 0}}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
        "," + text.mid(brace + 1);
    const std::variant<FieldChanges, QString> parsed = Profile::parse(again);
    const QString* error = std::get_if<QString>(&parsed);
    require(again.size() > Profile::largestBytes ||
                (error && error->contains(QStringLiteral("given again"))),
            "a key given once more was not refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::variant<FieldChanges, QString> parsed = Profile::parse(text);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        require(!error->isEmpty() && !error->contains(QLatin1Char('\n')),
                "a refusal is not one line");
        return 0;
    }
    const FieldChanges& changes = std::get<FieldChanges>(parsed);
    checkRanges(changes);
    checkKeysOnce(text);
    // A profile applied to what the adapter holds names exactly its own settings.
    const ConfigBytes held{0x00, 0x00, 0x00};
    const ConfigFields after = ConfigFields::decode(changes.applyTo(held));
    require(Profile::differences(changes, after).isEmpty(),
            "a setting of the profile did not go into the bytes");
    return 0;
}
