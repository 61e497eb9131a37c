#include "settings/SettingElements.h"

#include <charconv>
#include <string_view>
#include <type_traits>

namespace qm240lx {
namespace {

// The value of a member of type T that `element` stands for.
template <typename T> T valueAt(const Setting& setting, int element)
{
    const SettingValue& value = setting.values[static_cast<std::size_t>(element)];
    if constexpr (std::is_same_v<T, bool>) {
        return isYes(value);
    } else if constexpr (std::is_enum_v<T>) {
        return static_cast<T>(element);
    } else {
        const std::string_view name = value.name;
        T number{};
        std::from_chars(name.data(), name.data() + name.size(), number);
        return number;
    }
}

template <typename T> std::optional<int> elementOf(const Setting& setting, const T& value)
{
    for (int element = 0; element < static_cast<int>(setting.values.size()); ++element) {
        if (setting.values[static_cast<std::size_t>(element)].code &&
            valueAt<T>(setting, element) == value)
            return element;
    }
    return std::nullopt;
}

// Calls visit(index, setting, member of ConfigFields, member of FieldChanges)
// for each setting.
template <typename Visit> void forEachSetting(Visit visit)
{
    std::apply(
        [&](const auto&... members) {
            std::size_t index = 0;
            ((visit(index, settingTable[index], members.first, members.second), ++index), ...);
        },
        settingMembers);
}

} // namespace

SettingElements elementsOf(const ConfigFields& fields)
{
    SettingElements elements;
    forEachSetting([&](std::size_t index, const Setting& setting, auto held, auto) {
        elements[index] = elementOf(setting, fields.*held);
    });
    return elements;
}

SettingElements elementsOf(const FieldChanges& changes)
{
    SettingElements elements;
    forEachSetting([&](std::size_t index, const Setting& setting, auto, auto wanted) {
        if (const auto& value = changes.*wanted)
            elements[index] = elementOf(setting, *value);
    });
    return elements;
}

ConfigFields fieldsFrom(const SettingElements& elements)
{
    ConfigFields fields;
    forEachSetting([&](std::size_t index, const Setting& setting, auto held, auto) {
        using Value = std::remove_cvref_t<decltype(fields.*held)>;
        fields.*held = valueAt<Value>(setting, *elements[index]);
    });
    return fields;
}

FieldChanges changesFrom(const SettingElements& elements)
{
    FieldChanges changes;
    forEachSetting([&](std::size_t index, const Setting& setting, auto held, auto wanted) {
        using Value = std::remove_cvref_t<decltype(ConfigFields{}.*held)>;
        if (elements[index])
            changes.*wanted = valueAt<Value>(setting, *elements[index]);
    });
    return changes;
}

} // namespace qm240lx
