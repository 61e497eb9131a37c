#include "link/TelnetCodec.h"

namespace qm240lx {
namespace {

// COM-PORT-OPTION commands, client to server.
constexpr std::uint8_t setBaudRate = 1;
constexpr std::uint8_t setDataSize = 2;
constexpr std::uint8_t setParity = 3;
constexpr std::uint8_t setStopSize = 4;
constexpr std::uint8_t setControl = 5;
constexpr std::uint8_t purgeData = 12;

constexpr std::uint8_t parityNone = 1;
constexpr std::uint8_t oneStopBit = 1;
constexpr std::uint8_t noFlowControl = 1;
constexpr std::uint8_t purgeReceiveBuffer = 1;
constexpr std::uint32_t lineBaudRate = 9600;

QByteArray triple(std::uint8_t verb, std::uint8_t option)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(TelnetCodec::iac));
    bytes.append(static_cast<char>(verb));
    bytes.append(static_cast<char>(option));
    return bytes;
}

QByteArray comPortCommand(std::uint8_t command, const QByteArray& value)
{
    QByteArray bytes = triple(TelnetCodec::sb, TelnetCodec::comPortOption);
    bytes.append(static_cast<char>(command));
    bytes.append(TelnetCodec::escape(value));
    bytes.append(static_cast<char>(TelnetCodec::iac));
    bytes.append(static_cast<char>(TelnetCodec::se));
    return bytes;
}

QByteArray oneByte(std::uint8_t value)
{
    return QByteArray(1, static_cast<char>(value));
}

QByteArray bigEndian(std::uint32_t value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((value >> shift) & 0xFF));
    return bytes;
}

} // namespace

QByteArray TelnetCodec::negotiation()
{
    return triple(will, binary) + triple(doOption, binary) + triple(will, comPortOption);
}

QByteArray TelnetCodec::lineSettings()
{
    return comPortCommand(setBaudRate, bigEndian(lineBaudRate)) +
           comPortCommand(setDataSize, oneByte(8)) +
           comPortCommand(setParity, oneByte(parityNone)) +
           comPortCommand(setStopSize, oneByte(oneStopBit)) +
           comPortCommand(setControl, oneByte(noFlowControl));
}

QByteArray TelnetCodec::purgeReceivedData()
{
    return comPortCommand(purgeData, oneByte(purgeReceiveBuffer));
}

QByteArray TelnetCodec::escape(QByteArrayView data)
{
    QByteArray escaped;
    escaped.reserve(data.size());
    for (const char byte : data) {
        escaped.append(byte);
        if (static_cast<std::uint8_t>(byte) == iac)
            escaped.append(byte);
    }
    return escaped;
}

TelnetCodec::Decoded TelnetCodec::decode(QByteArrayView bytes)
{
    Decoded out;
    for (const char byte : bytes)
        takeByte(static_cast<std::uint8_t>(byte), out);
    return out;
}

void TelnetCodec::takeByte(std::uint8_t byte, Decoded& out)
{
    switch (m_state) {
    case State::Data:
        if (byte == iac)
            m_state = State::Command;
        else
            out.data.append(static_cast<char>(byte));
        return;
    case State::Command:
        takeCommand(byte, out);
        return;
    case State::Option:
        m_state = State::Data;
        takeOption(byte, out);
        return;
    case State::Subnegotiation:
        takeSubnegotiation(byte);
        return;
    case State::SubCommand:
        takeSubCommand(byte, out);
        return;
    }
}

// Commands without an option (NOP, GA, BREAK and the like) carry nothing for
// the data and are dropped.
void TelnetCodec::takeCommand(std::uint8_t byte, Decoded& out)
{
    m_state = State::Data;
    if (byte == iac) {
        out.data.append(static_cast<char>(iac));
    } else if (byte == sb) {
        m_subnegotiation.clear();
        m_state = State::Subnegotiation;
    } else if (byte >= will) {
        m_verb = byte;
        m_state = State::Option;
    }
}

void TelnetCodec::takeSubnegotiation(std::uint8_t byte)
{
    if (byte == iac) {
        m_state = State::SubCommand;
        return;
    }
    if (m_subnegotiation.size() < subnegotiationLimit)
        m_subnegotiation.append(static_cast<char>(byte));
}

// IAC SE ends a subnegotiation; any other command but IAC IAC ends it too,
// so that a malformed one cannot swallow the rest of the stream.
void TelnetCodec::takeSubCommand(std::uint8_t byte, Decoded& out)
{
    if (byte == iac) {
        m_state = State::Subnegotiation;
        takeSubnegotiation(byte);
        return;
    }
    if (!m_subnegotiation.isEmpty())
        m_lastSubnegotiation = static_cast<std::uint8_t>(m_subnegotiation.at(0));
    m_state = State::Data;
    if (byte != se)
        takeCommand(byte, out);
}

void TelnetCodec::takeOption(std::uint8_t option, Decoded& out)
{
    switch (m_verb) {
    case doOption:
        onDo(option, out);
        return;
    case dont:
        onDont(option, out);
        return;
    case will:
        onWill(option, out);
        return;
    default:
        onWont(option, out);
        return;
    }
}

TelnetCodec::Side* TelnetCodec::ours(std::uint8_t option)
{
    if (option == binary)
        return &m_ourBinary;
    if (option == comPortOption)
        return &m_ourComPort;
    return nullptr;
}

TelnetCodec::Side* TelnetCodec::theirs(std::uint8_t option)
{
    return option == binary ? &m_theirBinary : nullptr;
}

// A request for what is already in force, or the answer to our own request,
// is not answered; a request we do not support is refused.
void TelnetCodec::onDo(std::uint8_t option, Decoded& out)
{
    Side* side = ours(option);
    if (!side) {
        out.replies += triple(wont, option);
        return;
    }
    if (!side->enabled && !side->asked)
        out.replies += triple(will, option);
    side->enabled = true;
    side->asked = false;
    if (option == comPortOption)
        m_comPort = ComPort::Agreed;
}

// A refusal of something neither asked for nor in force is not answered.
void TelnetCodec::onDont(std::uint8_t option, Decoded& out)
{
    Side* side = ours(option);
    if (!side)
        return;
    if (side->enabled)
        out.replies += triple(wont, option);
    side->enabled = false;
    side->asked = false;
    if (option == comPortOption)
        m_comPort = ComPort::Refused;
}

void TelnetCodec::onWill(std::uint8_t option, Decoded& out)
{
    Side* side = theirs(option);
    if (!side) {
        out.replies += triple(dont, option);
        return;
    }
    if (!side->enabled && !side->asked)
        out.replies += triple(doOption, option);
    side->enabled = true;
    side->asked = false;
}

void TelnetCodec::onWont(std::uint8_t option, Decoded& out)
{
    Side* side = theirs(option);
    if (!side)
        return;
    if (side->enabled)
        out.replies += triple(dont, option);
    side->enabled = false;
    side->asked = false;
}

} // namespace qm240lx
