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

namespace {

Task<ReadBack> recordReadBack(Exchange& exchange, CommandRecord& record)
{
    const ReadBack result = co_await readConfiguration(exchange, showNothing);
    record.readBytes = result.bytes;
    co_return result;
}

} // namespace

CommandRecord runRecorded(CommandKind kind, Exchange& exchange, VirtualLine& line,
                          const ByteBuilder& build)
{
    CommandRecord record{kind, line.bytesWritten()};
    const ReadBackRun readBack = [&] { return recordReadBack(exchange, record); };
    if (kind == CommandKind::Detection)
        record.claim = claimOf(line.run(detectAdapter(exchange, showNothing)));
    else if (kind == CommandKind::ReadBack)
        record.claim = line.run(readBack()).end == ReadBack::End::Read ? Claim::Read : Claim::None;
    else if (kind == CommandKind::Save)
        record.claim = claimOf(line.run(saveToFlash(exchange, showNothing)));
    else
        record.claim = claimOf(
            line.run(uploadSetting(exchange, uploadOf(kind), build, readBack, showNothing)));
    record.writes = line.bytesWritten() - record.firstWrite;
    return record;
}

} // namespace qm240lx::test
