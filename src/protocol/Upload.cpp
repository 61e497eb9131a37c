#include "protocol/Upload.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

Answer runAttempt(Exchange& exchange, const UploadKind& kind, const ByteBuilder& build,
                  std::uint8_t& sent, const ShowText& show)
{
    exchange.discardStaleInput();
    if (!exchange.writeByte(kind.opcode))
        return Answer::PortFailed;
    // A recorded value, once there, never goes away, so this cannot come
    // back empty after the check before the first attempt.
    sent = build().byte.value_or(0);
    if (!exchange.writeByte(sent))
        return Answer::PortFailed;
    return exchange.awaitAnswer(uploadLimitMs, [&] { show(text::updating); });
}

// The fields of the byte a read-back shows; the adapter may report bits that
// no field covers, and those say nothing about the setting.
std::optional<std::uint8_t> heldFields(const UploadKind& kind, const ReadBack& result)
{
    if (!result.bytes)
        return std::nullopt;
    return (*result.bytes).*kind.byte & kind.fields;
}

// An acknowledgement can be a late one meant for an earlier command, so a
// read-back whose fields differ from the byte sent outweighs it. A read-back
// that times out leaves the acknowledgement standing.
UploadOutcome confirmAcknowledgement(const UploadKind& kind, std::uint8_t sent,
                                     const ReadBackRun& readBack, const ShowText& show)
{
    show(kind.acceptedText);
    const ReadBack result = readBack();
    if (result.end == ReadBack::End::Aborted)
        return {UploadEnd::Aborted, std::nullopt};
    if (result.end == ReadBack::End::PortFailed)
        return {UploadEnd::PortFailed, std::nullopt};
    if (const auto held = heldFields(kind, result); held && *held != sent) {
        show(text::contradicted);
        return {UploadEnd::NotConfirmed, result.bytes};
    }
    return {UploadEnd::Accepted, result.bytes};
}

// The adapter said nothing: the setting counts only if a read-back shows the
// fields as sent. A port lost meanwhile keeps the read-back's text about it.
UploadOutcome confirmBySilence(const UploadKind& kind, std::uint8_t sent,
                               const ReadBackRun& readBack, const ShowText& show)
{
    const ReadBack result = readBack();
    if (result.end == ReadBack::End::Aborted)
        return {UploadEnd::Aborted, std::nullopt};
    if (result.end == ReadBack::End::PortFailed)
        return {UploadEnd::PortFailed, std::nullopt};
    if (heldFields(kind, result) == sent) {
        show(text::heldUntilPowerOff);
        return {UploadEnd::ConfirmedAfterSilence, result.bytes};
    }
    show(text::notConfirmed);
    return {UploadEnd::NotConfirmed, result.bytes};
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

UploadOutcome uploadSetting(Exchange& exchange, const UploadKind& kind, const ByteBuilder& build,
                            const ReadBackRun& readBack, const ShowText& show)
{
    Exchange::Command command(exchange);
    if (const BuiltByte first = build(); !first.byte) {
        show(text::nothingSelected(*first.missing));
        return {UploadEnd::NothingSelected, std::nullopt};
    }
    show(text::configuring);
    for (int attempt = 1; attempt <= uploadAttempts; ++attempt) {
        std::uint8_t sent = 0;
        switch (runAttempt(exchange, kind, build, sent, show)) {
        case Answer::Acknowledged:
            return confirmAcknowledgement(kind, sent, readBack, show);
        case Answer::Other:
            show(text::rejected);
            break;
        case Answer::Silence:
            return confirmBySilence(kind, sent, readBack, show);
        case Answer::PortFailed:
            show(text::portFailure(exchange.comm()));
            return {UploadEnd::PortFailed, std::nullopt};
        case Answer::Aborted:
            return {UploadEnd::Aborted, std::nullopt};
        }
    }
    return {UploadEnd::Rejected, std::nullopt};
}

} // namespace qm240lx
