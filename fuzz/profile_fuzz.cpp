// Feeds arbitrary bytes to the profile parser and traps when it accepts a
// value outside its setting's range, or a profile without a setting.

#include "settings/Profile.h"
#include "settings/SettingElements.h"

#include <cstdint>
#include <cstdio>
#include <variant>

namespace {

using namespace qm240lx;

void require(bool holds, const char* why)
{
    if (holds)
        return;
    std::fprintf(stderr, "broken: %s\n", why);
    __builtin_trap();
}

void checkRanges(const FieldChanges& changes)
{
    require(!changes.isEmpty(), "a profile without a setting was accepted");
    require(changesFrom(elementsOf(changes)) == changes,
            "a value that is none of its setting's values was accepted");
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
    // A profile applied to what the adapter holds names exactly its own settings.
    const ConfigBytes held{0x00, 0x00, 0x00};
    const ConfigFields after = ConfigFields::decode(changes.applyTo(held));
    require(Profile::differences(changes, after).isEmpty(),
            "a setting of the profile did not go into the bytes");
    return 0;
}
