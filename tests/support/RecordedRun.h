#pragma once

#include "protocol/Exchange.h"
#include "protocol/Upload.h"
#include "settings/ConfigBytes.h"
#include "support/VirtualLine.h"
#include "support/WireCheck.h"

namespace qm240lx::test {

// A soak's setting from the environment, as scripts/soak passes it
// (QM240LX_SOAK_FIRST_SEED, QM240LX_SOAK_SESSIONS); `fallback` when unset.
inline int soakSetting(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

const UploadKind& uploadOf(CommandKind upload);
// The upload's byte as the selections build it.
BuiltByte buildFor(CommandKind upload, const RecordedValues& recorded,
                   std::optional<int> discoveryTime);

// Runs one command on the line, showing nothing, and records what it wrote
// and what success it claimed, for checkWire.
CommandRecord runRecorded(CommandKind kind, Exchange& exchange, VirtualLine& line,
                          const ByteBuilder& build);

} // namespace qm240lx::test
