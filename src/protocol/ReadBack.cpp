#include "protocol/ReadBack.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

ReadBack readReply(Exchange& exchange)
{
    const auto reply = exchange.readReply();
    if (!reply || reply->size() < 3)
        return {ReadBack::End::PortFailed, std::nullopt};
    const auto byte = [&](int position) { return static_cast<std::uint8_t>(reply->at(position)); };
    return {ReadBack::End::Read, ConfigBytes{byte(0), byte(1), byte(2)}};
}

ReadBack::End endBefore(LineQuiet quiet)
{
    switch (quiet) {
    case LineQuiet::KeepsSending:
        return ReadBack::End::KeepsSending;
    case LineQuiet::Aborted:
        return ReadBack::End::Aborted;
    case LineQuiet::Quiet:
    case LineQuiet::PortFailed:
        break;
    }
    return ReadBack::End::PortFailed;
}

ReadBack::End endOf(WaitEnd wait)
{
    switch (wait) {
    case WaitEnd::Timeout:
        return ReadBack::End::Timeout;
    case WaitEnd::Aborted:
        return ReadBack::End::Aborted;
    case WaitEnd::Data:
    case WaitEnd::PortFailed:
        break;
    }
    return ReadBack::End::PortFailed;
}

Task<ReadBack> askOnce(Exchange& exchange)
{
    const LineQuiet quiet = co_await exchange.quietLine(readBackLimitMs);
    if (quiet != LineQuiet::Quiet || !exchange.writeByte(opcode::readConfiguration))
        co_return ReadBack{endBefore(quiet), std::nullopt};
    const WaitEnd wait = co_await exchange.waitForReply(3, readBackLimitMs);
    if (wait != WaitEnd::Data)
        co_return ReadBack{endOf(wait), std::nullopt};
    const ReadBack read = readReply(exchange);
    if (read.end != ReadBack::End::Read)
        co_return read;
    const bool more = co_await exchange.moreFollows();
    if (exchange.aborted())
        co_return ReadBack{ReadBack::End::Aborted, std::nullopt};
    if (more)
        co_return ReadBack{ReadBack::End::Suspect, std::nullopt};
    co_return read;
}

void showFailure(ReadBack::End end, Exchange& exchange, const ShowText& show)
{
    switch (end) {
    case ReadBack::End::Timeout:
        show(text::readBackTimeout);
        break;
    case ReadBack::End::KeepsSending:
        show(text::keepsSending);
        break;
    case ReadBack::End::Suspect:
        show(text::readBackSuspect);
        break;
    case ReadBack::End::PortFailed:
        show(text::portFailure(exchange));
        break;
    case ReadBack::End::Read:
    case ReadBack::End::Aborted:
        break;
    }
}

} // namespace

Task<ReadBack> readConfiguration(Exchange& exchange, ShowText show)
{
    const Exchange::Command command(exchange);
    ReadBack result;
    for (int attempt = 1; attempt <= readBackAttempts; ++attempt) {
        result = co_await askOnce(exchange);
        if (result.end != ReadBack::End::Suspect)
            break;
    }
    showFailure(result.end, exchange, show);
    co_return result;
}

} // namespace qm240lx
