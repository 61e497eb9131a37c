// Feeds arbitrary server output, cut into arbitrary reads, to the telnet
// codec of RFC 2217 connections, and traps when it yields more data or
// answers than it took in, keeps more of a subnegotiation than its bound, or
// no longer passes escaped data through unchanged afterwards.

#include "Require.h"
#include "link/TelnetCodec.h"

#include <cstdint>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

using qm240lx::TelnetCodec;

using qm240lx::fuzz::require;

// Ends whatever sequence the server left open, in any state of the codec, so
// that data follows.
const QByteArray resynchronise = QByteArray::fromHex("fff0fff1fff1");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider input(bytes, size);
    TelnetCodec codec;
    const QByteArray data = QByteArray::fromStdString(
        input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 64)));
    qsizetype taken = 0;
    qsizetype answered = 0;
    while (input.remaining_bytes() > 0) {
        const std::string chunk =
            input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(1, 512));
        const TelnetCodec::Decoded decoded = codec.decode(QByteArray::fromStdString(chunk));
        require(decoded.data.size() <= qsizetype(chunk.size()), "more data out than in");
        taken += qsizetype(chunk.size());
        answered += decoded.replies.size();
        require(answered <= taken, "more answers than bytes asking for them");
        require(codec.keptSubnegotiationBytes() <= TelnetCodec::subnegotiationLimit,
                "a subnegotiation beyond its bound");
    }
    // After SE and two NOPs the codec is back in the data, whatever came before.
    codec.decode(resynchronise);
    const TelnetCodec::Decoded tail = codec.decode(TelnetCodec::escape(data));
    require(tail.data == data, "escaped data did not come through unchanged");
    require(tail.replies.isEmpty(), "plain data was answered");
    return 0;
}
