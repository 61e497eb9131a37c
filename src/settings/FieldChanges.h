#pragma once

#include "settings/ConfigBytes.h"
#include "settings/ConfigFields.h"

#include <optional>
#include <tuple>
#include <utility>

namespace qm240lx {

// Some of the adapter's settings, each to be given a new value; the others
// keep theirs.
struct FieldChanges
{
    std::optional<int> baudRate; // bps
    std::optional<bool> ignoreCts;
    std::optional<bool> ignoreDsr;
    std::optional<DiscoveryMode> mode;
    std::optional<int> discoverySlots;
    std::optional<int> discoveryTimeS;
    std::optional<PrimaryProtocol> protocol;

    friend bool operator==(const FieldChanges&, const FieldChanges&) = default;

    bool isEmpty() const { return *this == FieldChanges{}; }

    // `current` with the named fields replaced and every bit that no field
    // covers cleared. A value outside its setting's values leaves its field
    // as it is.
    ConfigBytes applyTo(const ConfigBytes& current) const;
};

// Each setting's member in ConfigFields and in FieldChanges, in the order of
// settingTable.
inline constexpr std::tuple settingMembers{
    std::pair{&ConfigFields::baudRate, &FieldChanges::baudRate},
    std::pair{&ConfigFields::ignoreCts, &FieldChanges::ignoreCts},
    std::pair{&ConfigFields::ignoreDsr, &FieldChanges::ignoreDsr},
    std::pair{&ConfigFields::mode, &FieldChanges::mode},
    std::pair{&ConfigFields::discoverySlots, &FieldChanges::discoverySlots},
    std::pair{&ConfigFields::discoveryTimeS, &FieldChanges::discoveryTimeS},
    std::pair{&ConfigFields::protocol, &FieldChanges::protocol},
};
static_assert(std::tuple_size_v<decltype(settingMembers)> == settingCount);

// `bytes` with every bit that no field covers cleared.
ConfigBytes withFieldsOnly(const ConfigBytes& bytes);

} // namespace qm240lx
