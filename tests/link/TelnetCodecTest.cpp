#include "link/TelnetCodec.h"

#include <utility>
#include <vector>

#include <QByteArray>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

QByteArray h(const char* hex)
{
    return QByteArray::fromHex(hex);
}

using ComPort = TelnetCodec::ComPort;

struct DecodeCase
{
    const char* name;
    std::vector<QByteArray> chunks; // as the socket hands them over
    QByteArray data;
    QByteArray replies;
    ComPort comPort = ComPort::Asked;
};

// The client has asked for WILL BINARY, DO BINARY and WILL COM-PORT-OPTION.
const DecodeCase decodeCases[] = {
    {"plain data", {h("41ac00fa")}, h("41ac00fa"), {}},
    {"IAC IAC is one 0xFF", {h("41ffff42ffff")}, h("41ff42ff"), {}},
    {"commands without option vanish", {h("fff141fff942fff3")}, h("4142"), {}},
    {"an unknown command byte vanishes with its IAC", {h("ff0741")}, h("41"), {}},
    {"DO for an unsupported option is refused with WONT", {h("fffd0141")}, h("41"), h("fffc01")},
    {"WILL for an unsupported option is refused with DONT",
     {h("fffb03fffb01")},
     {},
     h("fffe03fffe01")},
    {"a refusal of what was never asked is not answered", {h("fffe05fffc0541")}, h("41"), {}},
    {"answers to our own requests are not acknowledged",
     {h("fffd00fffb00fffd2c")},
     {},
     {},
     ComPort::Agreed},
    {"an option split between reads", {h("ff"), h("fd"), h("2c42")}, h("42"), {}, ComPort::Agreed},
    {"COM-PORT-OPTION refused", {h("fffe2c41")}, h("41"), {}, ComPort::Refused},
    {"BINARY taken back by the server is acknowledged once",
     {h("fffb00fffc00fffc00")},
     {},
     h("fffe00")},
    {"a subnegotiation vanishes", {h("41fffa2c6500002580fff042")}, h("4142"), {}},
    {"a subnegotiation split anywhere, with IAC IAC inside",
     {h("41fffa2c65ff"), h("ff00"), h("ff"), h("f042")},
     h("4142"),
     {}},
    {"a subnegotiation cut short by another command ends there",
     {h("fffa2c0141fffd0542")},
     h("42"),
     h("fffc05")},
    {"a huge subnegotiation vanishes and keeps what is bounded",
     {h("fffa2c"), QByteArray(100000, 'x'), h("fff043")},
     h("43"),
     {}},
};

TEST(TelnetDecoding, LeavesTheDataAndAnswersAsTheTelnetRulesAsk)
{
    for (const DecodeCase& c : decodeCases) {
        SCOPED_TRACE(c.name);
        TelnetCodec codec;
        QByteArray data;
        QByteArray replies;
        for (const QByteArray& chunk : c.chunks) {
            const TelnetCodec::Decoded decoded = codec.decode(chunk);
            data += decoded.data;
            replies += decoded.replies;
        }
        EXPECT_EQ(data.toHex(' '), c.data.toHex(' '));
        EXPECT_EQ(replies.toHex(' '), c.replies.toHex(' '));
        EXPECT_EQ(codec.comPort(), c.comPort);
        EXPECT_LE(codec.keptSubnegotiationBytes(), TelnetCodec::subnegotiationLimit);
    }
}

// What the client sends: 0xFF in the data and in the values of its
// COM-PORT-OPTION commands doubled, so that a telnet reader gets the data back.
TEST(TelnetEncoding, DoublesEveryIacAndDecodesBackToTheSameBytes)
{
    EXPECT_EQ(TelnetCodec::escape(h("41ffff42")).toHex(' '), h("41ffffffff42").toHex(' '));
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all.append(static_cast<char>(byte));
    EXPECT_EQ(TelnetCodec().decode(TelnetCodec::escape(all)).data, all);
}

} // namespace
} // namespace qm240lx
