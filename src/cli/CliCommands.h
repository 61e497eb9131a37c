#pragma once

#include "async/Task.h"
#include "cli/CommandResult.h"
#include "cli/PortSession.h"
#include "protocol/ReadBack.h"
#include "protocol/Upload.h"
#include "settings/ConfigBytes.h"
#include "settings/FieldChanges.h"

#include <cstdint>
#include <optional>
#include <variant>

#include <QJsonArray>
#include <QStringList>

namespace qm240lx {

// The commands that talk to one adapter, run on an open port. Each probes
// the adapter first, as the window does when it opens a port; what follows a
// probe made elsewhere (a scan) can also run on its own.
class CliCommands
{
public:
    explicit CliCommands(PortSession& session);

    // What applying settings did to an adapter, up to a failure.
    struct Applied
    {
        std::optional<CliExit> failure;
        std::optional<ConfigBytes> before; // the configuration first read
        // What the last read-back showed the adapter holds: at the end, or
        // after a failure when one answered.
        std::optional<ConfigBytes> held;
        QStringList lines;  // "H-Byte 0x03 -> 0x06: set", ...
        QJsonArray changed; // "h_byte", ...: as a read-back shows them, also after a failure
        bool saved = false;
        bool saveUnconfirmed = false; // the save was sent but not acknowledged
        bool heldUnknown = false;     // after a failure, no read-back showed what the adapter holds

        // After a failure: what the adapter took before it, and whether
        // anything was saved.
        QString afterFailure() const;
    };

    Task<CommandResult> detect();
    Task<CommandResult> read();
    // Uploads only the bytes whose fields change, then saves when asked.
    Task<CommandResult> set(FieldChanges changes, bool save);
    Task<CommandResult> save();

    // The failure, when the adapter does not answer the probe ready.
    Task<std::optional<CliExit>> probe();
    // What set and apply do to each adapter once it answered the probe: read,
    // upload the bytes whose fields change, each confirmed, then save when
    // asked.
    Task<Applied> applyAfterProbe(FieldChanges changes, bool save);
    // The configuration, once the adapter answered the probe.
    Task<std::variant<ConfigBytes, CliExit>> readBytes();
    // The failure, when the adapter does not confirm the save.
    Task<std::optional<CliExit>> saveIntoFlash();

private:
    // The configuration read back after the byte took effect.
    Task<std::variant<ConfigBytes, CliExit>> upload(const UploadKind& kind, std::uint8_t value);
    // The configuration after the changed bytes went out, each confirmed.
    Task<std::variant<ConfigBytes, CliExit>> uploadChanges(ConfigBytes read, FieldChanges changes,
                                                           Applied& report);
    // After an upload failed: what the adapter holds now, compared with what
    // it held before, when the port still answers.
    Task<> learnWhatChanged(const ConfigBytes& before, Applied& report);
    CliExit adapterFailure(FailureKind kind, const QString& what) const;
    CommandResult configurationResult(const ConfigBytes& bytes) const;

    PortSession& m_session;
};

} // namespace qm240lx
