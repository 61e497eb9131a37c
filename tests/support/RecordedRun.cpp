#include "support/RecordedRun.h"

#include "protocol/Detection.h"
#include "protocol/ReadBack.h"
#include "protocol/SaveToFlash.h"

namespace qm240lx::test {

namespace {

using Claim = CommandRecord::Claim;

void showNothing(const QString&) {}

Claim claimOf(Answer answer)
{
    return answer == Answer::Acknowledged ? Claim::Acknowledged : Claim::None;
}

Claim claimOf(UploadEnd end)
{
    return end == UploadEnd::Accepted                ? Claim::Acknowledged
           : end == UploadEnd::ConfirmedAfterSilence ? Claim::ConfirmedByReadBack
                                                     : Claim::None;
}

} // namespace

const UploadKind& uploadOf(CommandKind upload)
{
    return upload == CommandKind::UploadH   ? hostSettingsUpload()
           : upload == CommandKind::UploadD ? discoveryTimingUpload()
                                            : primaryProtocolUpload();
}

BuiltByte buildFor(CommandKind upload, const RecordedValues& recorded,
                   std::optional<int> discoveryTime)
{
    return upload == CommandKind::UploadH   ? buildHByte(recorded)
           : upload == CommandKind::UploadD ? buildDByte(recorded, discoveryTime)
                                            : buildPByte(recorded);
}

CommandRecord runRecorded(CommandKind kind, Exchange& exchange, const VirtualLine& line,
                          const ByteBuilder& build)
{
    CommandRecord record{kind, line.bytesWritten()};
    const auto readBack = [&] {
        const ReadBack result = readConfiguration(exchange, showNothing);
        record.readBytes = result.bytes;
        return result;
    };
    if (kind == CommandKind::Detection)
        record.claim = claimOf(detectAdapter(exchange, showNothing));
    else if (kind == CommandKind::ReadBack)
        record.claim = readBack().end == ReadBack::End::Read ? Claim::Read : Claim::None;
    else if (kind == CommandKind::Save)
        record.claim = claimOf(saveToFlash(exchange, showNothing));
    else
        record.claim =
            claimOf(uploadSetting(exchange, uploadOf(kind), build, readBack, showNothing));
    record.writes = line.bytesWritten() - record.firstWrite;
    return record;
}

} // namespace qm240lx::test
