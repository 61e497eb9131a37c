#pragma once

#include "protocol/Exchange.h"
#include "protocol/ReadBack.h"
#include "protocol/ShowText.h"
#include "settings/ConfigBytes.h"

#include <cstdint>
#include <functional>
#include <optional>

#include <QString>

namespace qm240lx {

// One of the three configuration-byte uploads.
struct UploadKind
{
    std::uint8_t opcode;
    std::uint8_t ConfigBytes::*byte; // where the byte sits in a read-back
    std::uint8_t fields;             // the bits a field covers
    QString acceptedText;
    const char* name; // "H-Byte"
};

const UploadKind& hostSettingsUpload();
const UploadKind& discoveryTimingUpload();
const UploadKind& primaryProtocolUpload();

enum class UploadEnd
{
    Accepted,              // acknowledged, and no read-back contradicts it
    Rejected,              // three attempts, each answered with something else
    ConfirmedAfterSilence, // no answer, but a read-back shows the byte in force
    NotConfirmed,          // no answer and no read-back shows the byte, or a
                           // read-back contradicts an acknowledgement
    NothingSelected,       // a group the byte needs has nothing recorded: nothing sent
    KeepsSending,          // the line never fell quiet before an attempt: that
                           // attempt sent nothing
    PortFailed,            // the port is closed or was lost
    Aborted,               // the program is closing
};

// How an upload ended, with the configuration the adapter reported after it:
// the bytes that confirmed the upload, or those that contradict it.
struct UploadOutcome
{
    UploadEnd end = UploadEnd::PortFailed;
    std::optional<ConfigBytes> readBack;

    // A switch or a comparison looks at the ending alone.
    operator UploadEnd() const { return end; }
};

inline constexpr int uploadAttempts = 3;
inline constexpr Tick uploadLimitMs = 3000;

// Builds the byte from the selections as they are at the moment of the call.
using ByteBuilder = std::function<BuiltByte()>;
// Reads the configuration back (and shows it, in the window).
using ReadBackRun = std::function<Task<ReadBack>()>;

// Sends the opcode and the freshly built byte, each attempt after a quiet
// line, up to three attempts, and reports the outcome. An acknowledgement
// followed by more bytes counts only once a read-back confirms it. Every attempt builds its byte
// anew, so a selection changed during a wait goes into the next attempt.
Task<UploadOutcome> uploadSetting(Exchange& exchange, const UploadKind& kind, ByteBuilder build,
                                  ReadBackRun readBack, ShowText show);

} // namespace qm240lx
