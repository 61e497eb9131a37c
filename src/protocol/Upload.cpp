#include "protocol/Upload.h"

#include "protocol/Texts.h"
#include "protocol/Opcodes.h"

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
UploadEnd confirmAcknowledgement(const UploadKind& kind, std::uint8_t sent,
                                 const ReadBackRun& readBack, const ShowText& show)
{
    show(kind.acceptedText);
    const ReadBack result = readBack();
    if (result.end == ReadBack::End::Aborted)
        return UploadEnd::Aborted;
    if (const auto held = heldFields(kind, result); held && *held != sent) {
        show(text::contradicted);
        return UploadEnd::NotConfirmed;
    }
    return UploadEnd::Accepted;
}

// The adapter said nothing: the setting counts only if a read-back shows the
// fields as sent. A port lost meanwhile keeps the read-back's text about it.
UploadEnd confirmBySilence(const UploadKind& kind, std::uint8_t sent, const ReadBackRun& readBack,
                           const ShowText& show)
{
    const ReadBack result = readBack();
    if (result.end == ReadBack::End::Aborted)
        return UploadEnd::Aborted;
    if (result.end == ReadBack::End::PortFailed)
        return UploadEnd::PortFailed;
    if (heldFields(kind, result) == sent) {
        show(text::heldUntilPowerOff);
        return UploadEnd::ConfirmedAfterSilence;
    }
    show(text::notConfirmed);
    return UploadEnd::NotConfirmed;
}

} // namespace

const UploadKind& hostSettingsUpload()
{
    static const UploadKind kind{opcode::setHByte, &ConfigBytes::h, hByteFields,
                                 text::hByteAccepted};
    return kind;
}

const UploadKind& discoveryTimingUpload()
{
    static const UploadKind kind{opcode::setDByte, &ConfigBytes::d, dByteFields,
                                 text::dByteAccepted};
    return kind;
}

const UploadKind& primaryProtocolUpload()
{
    static const UploadKind kind{opcode::setPByte, &ConfigBytes::p, pByteFields,
                                 text::pByteAccepted};
    return kind;
}

UploadEnd uploadSetting(Exchange& exchange, const UploadKind& kind, const ByteBuilder& build,
                        const ReadBackRun& readBack, const ShowText& show)
{
    Exchange::Command command(exchange);
    if (const BuiltByte first = build(); !first.byte) {
        show(text::nothingSelected(*first.missing));
        return UploadEnd::NothingSelected;
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
            return UploadEnd::PortFailed;
        case Answer::Aborted:
            return UploadEnd::Aborted;
        }
    }
    return UploadEnd::Rejected;
}

} // namespace qm240lx
