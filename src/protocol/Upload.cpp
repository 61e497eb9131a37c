#include "protocol/Upload.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

Task<Answer> runAttempt(Exchange& exchange, const UploadKind& kind, const ByteBuilder& build,
                        std::uint8_t& sent, const ShowText& show)
{
    const LineQuiet quiet = co_await exchange.quietLine(uploadLimitMs);
    if (quiet != LineQuiet::Quiet || !exchange.writeByte(kind.opcode))
        co_return answerBefore(quiet);
    // A recorded value, once there, never goes away, so this cannot come
    // back empty after the check before the first attempt.
    sent = build().byte.value_or(0);
    if (!exchange.writeByte(sent))
        co_return Answer::PortFailed;
    co_return co_await exchange.awaitAnswer(uploadLimitMs, [&] { show(text::updating); });
}

// The fields of the byte a read-back shows; the adapter may report bits that
// no field covers, and those say nothing about the setting.
std::optional<std::uint8_t> heldFields(const UploadKind& kind, const ReadBack& result)
{
    if (!result.bytes)
        return std::nullopt;
    return (*result.bytes).*kind.byte & kind.fields;
}

// A read-back given up or cut off by a lost port ends the upload so.
std::optional<UploadOutcome> endedWithoutBytes(const ReadBack& result)
{
    if (result.end == ReadBack::End::Aborted)
        return UploadOutcome{UploadEnd::Aborted, std::nullopt};
    if (result.end == ReadBack::End::PortFailed)
        return UploadOutcome{UploadEnd::PortFailed, std::nullopt};
    return std::nullopt;
}

// An acknowledgement can be a late one meant for an earlier command, so a
// read-back whose fields differ from the byte sent outweighs it. A read-back
// that fails leaves the acknowledgement standing.
Task<UploadOutcome> confirmAcknowledgement(const UploadKind& kind, std::uint8_t sent,
                                           const ReadBackRun& readBack, const ShowText& show)
{
    show(kind.acceptedText);
    const ReadBack result = co_await readBack();
    if (const std::optional<UploadOutcome> ended = endedWithoutBytes(result))
        co_return *ended;
    if (const auto held = heldFields(kind, result); held && *held != sent) {
        show(text::contradicted);
        co_return UploadOutcome{UploadEnd::NotConfirmed, result.bytes};
    }
    co_return UploadOutcome{UploadEnd::Accepted, result.bytes};
}

// More bytes after the acknowledgement: the byte read may not have been the
// adapter's answer, so only a read-back that shows the fields as sent counts.
Task<UploadOutcome> confirmSuspectAcknowledgement(const UploadKind& kind, std::uint8_t sent,
                                                  const ReadBackRun& readBack, const ShowText& show)
{
    const ReadBack result = co_await readBack();
    if (const std::optional<UploadOutcome> ended = endedWithoutBytes(result))
        co_return *ended;
    if (heldFields(kind, result) == sent) {
        show(kind.acceptedText);
        co_return UploadOutcome{UploadEnd::Accepted, result.bytes};
    }
    show(result.bytes ? text::contradicted : text::acknowledgementNotConfirmed);
    co_return UploadOutcome{UploadEnd::NotConfirmed, result.bytes};
}

Task<UploadOutcome> confirmAnswer(Exchange& exchange, const UploadKind& kind, std::uint8_t sent,
                                  const ReadBackRun& readBack, const ShowText& show)
{
    const bool suspect = co_await exchange.moreFollows();
    if (exchange.aborted())
        co_return UploadOutcome{UploadEnd::Aborted, std::nullopt};
    if (suspect)
        co_return co_await confirmSuspectAcknowledgement(kind, sent, readBack, show);
    co_return co_await confirmAcknowledgement(kind, sent, readBack, show);
}

// The adapter said nothing: the setting counts only if a read-back shows the
// fields as sent. A port lost meanwhile keeps the read-back's text about it.
Task<UploadOutcome> confirmBySilence(const UploadKind& kind, std::uint8_t sent,
                                     const ReadBackRun& readBack, const ShowText& show)
{
    const ReadBack result = co_await readBack();
    if (const std::optional<UploadOutcome> ended = endedWithoutBytes(result))
        co_return *ended;
    if (heldFields(kind, result) == sent) {
        show(text::heldUntilPowerOff);
        co_return UploadOutcome{UploadEnd::ConfirmedAfterSilence, result.bytes};
    }
    show(text::notConfirmed);
    co_return UploadOutcome{UploadEnd::NotConfirmed, result.bytes};
}

} // namespace

const UploadKind& hostSettingsUpload()
{
    static const UploadKind kind{opcode::setHByte, &ConfigBytes::h, hByteFields,
                                 text::hByteAccepted, "H-Byte"};
    return kind;
}

const UploadKind& discoveryTimingUpload()
{
    static const UploadKind kind{opcode::setDByte, &ConfigBytes::d, dByteFields,
                                 text::dByteAccepted, "D-Byte"};
    return kind;
}

const UploadKind& primaryProtocolUpload()
{
    static const UploadKind kind{opcode::setPByte, &ConfigBytes::p, pByteFields,
                                 text::pByteAccepted, "P-Byte"};
    return kind;
}

Task<UploadOutcome> uploadSetting(Exchange& exchange, const UploadKind& kind, ByteBuilder build,
                                  ReadBackRun readBack, ShowText show)
{
    const Exchange::Command command(exchange);
    if (const BuiltByte first = build(); !first.byte) {
        show(text::nothingSelected(*first.missing));
        co_return UploadOutcome{UploadEnd::NothingSelected, std::nullopt};
    }
    show(text::configuring);
    for (int attempt = 1; attempt <= uploadAttempts; ++attempt) {
        std::uint8_t sent = 0;
        const Answer answer = co_await runAttempt(exchange, kind, build, sent, show);
        switch (answer) {
        case Answer::Acknowledged:
            co_return co_await confirmAnswer(exchange, kind, sent, readBack, show);
        case Answer::Other:
            show(text::rejected);
            break;
        case Answer::Silence:
            co_return co_await confirmBySilence(kind, sent, readBack, show);
        case Answer::KeepsSending:
            show(text::keepsSending);
            co_return UploadOutcome{UploadEnd::KeepsSending, std::nullopt};
        case Answer::PortFailed:
            show(text::portFailure(exchange));
            co_return UploadOutcome{UploadEnd::PortFailed, std::nullopt};
        case Answer::Aborted:
            co_return UploadOutcome{UploadEnd::Aborted, std::nullopt};
        }
    }
    co_return UploadOutcome{UploadEnd::Rejected, std::nullopt};
}

} // namespace qm240lx
