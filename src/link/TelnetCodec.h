#pragma once

#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>

namespace qm240lx {

// The telnet side of an RFC 2217 connection, without a socket: bytes from the
// server go in, the serial data in them and the answers owed to the server come
// out. The client asks for BINARY both ways and for COM-PORT-OPTION, agrees to
// nothing else, and strips every telnet sequence from the data, whatever the
// server sends. Subnegotiations are read up to subnegotiationLimit bytes and
// their rest is skipped, so no server can make it hold more.
class TelnetCodec
{
public:
    static constexpr std::uint8_t iac = 255;
    static constexpr std::uint8_t dont = 254;
    static constexpr std::uint8_t doOption = 253;
    static constexpr std::uint8_t wont = 252;
    static constexpr std::uint8_t will = 251;
    static constexpr std::uint8_t sb = 250;
    static constexpr std::uint8_t se = 240;
    static constexpr std::uint8_t binary = 0;
    static constexpr std::uint8_t comPortOption = 44;
    static constexpr int subnegotiationLimit = 64;

    enum class ComPort
    {
        Asked,   // no answer yet
        Agreed,  // the server takes COM-PORT-OPTION commands
        Refused, // the server said DONT
    };

    struct Decoded
    {
        QByteArray data;    // the serial data, unescaped
        QByteArray replies; // what to send back to the server, in order
    };

    // WILL BINARY, DO BINARY, WILL COM-PORT-OPTION: sent once, on connecting.
    static QByteArray negotiation();

    // SET-BAUDRATE 9600, SET-DATASIZE 8, SET-PARITY none, SET-STOPSIZE 1 and
    // SET-CONTROL without flow control; sent once the server agrees.
    static QByteArray lineSettings();

    // PURGE-DATA for the server's receive buffer.
    static QByteArray purgeReceivedData();

    // Serial data as the telnet stream carries it: 0xFF doubled.
    static QByteArray escape(QByteArrayView data);

    // Takes the next bytes from the server; sequences may be split anywhere.
    Decoded decode(QByteArrayView bytes);

    ComPort comPort() const { return m_comPort; }

    // The option code of the last complete subnegotiation and how many of
    // its bytes were kept (at most subnegotiationLimit).
    std::uint8_t lastSubnegotiationOption() const { return m_lastSubnegotiation; }
    qsizetype keptSubnegotiationBytes() const { return m_subnegotiation.size(); }

private:
    enum class State
    {
        Data,
        Command,        // after IAC
        Option,         // after IAC WILL, WONT, DO or DONT
        Subnegotiation, // inside SB
        SubCommand,     // after IAC inside SB
    };

    struct Side
    {
        bool enabled = false;
        bool asked = false; // our request waits for an answer
    };

    void takeByte(std::uint8_t byte, Decoded& out);
    void takeCommand(std::uint8_t byte, Decoded& out);
    void takeSubnegotiation(std::uint8_t byte);
    void takeSubCommand(std::uint8_t byte, Decoded& out);
    void takeOption(std::uint8_t option, Decoded& out);
    void onDo(std::uint8_t option, Decoded& out);
    void onDont(std::uint8_t option, Decoded& out);
    void onWill(std::uint8_t option, Decoded& out);
    void onWont(std::uint8_t option, Decoded& out);
    Side* ours(std::uint8_t option);
    Side* theirs(std::uint8_t option);

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    QByteArray m_subnegotiation; // option code first
    std::uint8_t m_lastSubnegotiation = 0;
    // Ours: what we do (WILL); theirs: what the server does (DO).
    Side m_ourBinary{false, true};
    Side m_ourComPort{false, true};
    Side m_theirBinary{false, true};
    ComPort m_comPort = ComPort::Asked;
};

} // namespace qm240lx
