#pragma once

#include "settings/ConfigBytes.h"
#include "settings/ConfigFields.h"

#include <optional>

namespace qm240lx {

// Some of the adapter's settings, each to be given a new value; the others
// keep theirs.
struct FieldChanges
{
    std::optional<int> baudRate; // one of baudRates
    std::optional<bool> ignoreCts;
    std::optional<bool> ignoreDsr;
    std::optional<DiscoveryMode> mode;
    std::optional<int> discoverySlots; // 1 or 6
    std::optional<int> discoveryTimeS; // 1 to 5
    std::optional<PrimaryProtocol> protocol;

    friend bool operator==(const FieldChanges&, const FieldChanges&) = default;

    bool isEmpty() const { return *this == FieldChanges{}; }

    // `current` with the named fields replaced and every bit that no field
    // covers cleared. A value outside its range leaves its field as it is.
    ConfigBytes applyTo(const ConfigBytes& current) const;
};

// `bytes` with every bit that no field covers cleared.
ConfigBytes withFieldsOnly(const ConfigBytes& bytes);

} // namespace qm240lx
