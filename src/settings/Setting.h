#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qm240lx {

// The selection group of a setting in the window, listed with the table.
enum class Group;

// The adapter's three configuration bytes.
enum class ConfigByte
{
    H, // host link
    D, // infrared discovery
    P, // primary protocol
};

// How a setting's values are written in JSON and read from a command line.
enum class ValueKind
{
    Number, // a JSON number, the value's name as digits: 9600
    Flag,   // yes or no; JSON true or false
    Word,   // a JSON string; names match whatever their case
};

// One value of a setting: one element of its group in the window.
struct SettingValue
{
    const char* caption; // the element's caption in the window
    const char* name;    // on the command line, in JSON and in the report
    // The field's bits for this value, at their place in the byte; a value
    // without a code is never sent nor read back.
    std::optional<std::uint8_t> code;
    bool hidden = false; // the window never shows it
};

// A flag's value: true for "yes".
constexpr bool isYes(const SettingValue& value)
{
    return std::string_view(value.name) == "yes";
}

// One setting: where it sits in the bytes, its values, and how each part of
// the system names it.
struct Setting
{
    Group group;
    const char* groupName; // the window's name for the group's buttons
    const char* frame;     // the caption of the group's frame, without its access key
    ConfigByte byte;
    std::uint8_t bits;
    std::span<const SettingValue> values; // in element order
    ValueKind kind;
    const char* key;       // in JSON and in profiles
    const char* option;    // on the command line, without its dashes
    const char* valueName; // of the option, in --help
    const char* label;     // in the text report and, lower-cased, in --help
    const char* shown;     // the value in the text report: %1 its name, %2 its caption
    // The element a code outside `values` selects when read back, and whose
    // code is sent while no element with a code is selected.
    int fallback = 0;
    // The window records the selection's code when an element is selected;
    // a group that records nothing is read by its selection when sent.
    bool recorded = true;
    // An upload that cannot be built names this group before the others of
    // its byte that have nothing recorded yet.
    bool askedFirst = false;
};

} // namespace qm240lx
