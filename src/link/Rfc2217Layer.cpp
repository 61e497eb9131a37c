#include "link/Rfc2217Layer.h"

#include <algorithm>
#include <utility>

namespace qm240lx {

Rfc2217Layer::Rfc2217Layer(QString where, std::unique_ptr<Layer> below)
    : m_where(std::move(where)), m_below(std::move(below))
{
    m_below->setNewsHandler([this] { onBelowNews(); });
}

void Rfc2217Layer::onBelowNews()
{
    m_belowNews.wake();
    if (isOpen() && m_news)
        m_news();
}

Task<bool> Rfc2217Layer::open(Deadline& deadline)
{
    close();
    m_error = {};
    const bool belowOpen = co_await m_below->open(deadline);
    if (!belowOpen)
        co_return false;
    co_return co_await negotiate(deadline);
}

// Asks for BINARY and COM-PORT-OPTION and, once the server takes the latter,
// sets the line. Data the server sends meanwhile is dropped with the rest.
Task<bool> Rfc2217Layer::negotiate(Deadline& deadline)
{
    m_telnet.emplace();
    m_below->write(TelnetCodec::negotiation());
    while (m_telnet->comPort() == TelnetCodec::ComPort::Asked) {
        const bool more = co_await awaitServer(deadline);
        if (!more)
            co_return failNegotiating(deadline);
        pull();
        m_received.clear();
    }
    if (m_telnet->comPort() == TelnetCodec::ComPort::Refused) {
        co_return fail(PortError::Kind::NegotiationRefused,
                       QStringLiteral("%1 refuses RFC 2217 (COM-PORT-OPTION); for a raw TCP port "
                                      "use tcp://.")
                           .arg(m_where));
    }
    m_below->write(TelnetCodec::lineSettings());
    co_return true;
}

// Whether the server has more to say before the deadline; one that keeps
// sending does not extend it.
Task<bool> Rfc2217Layer::awaitServer(Deadline& deadline)
{
    const Deadline::Watch watch = deadline.watch(m_belowNews);
    while (!deadline.over() && m_below->waiting().value_or(-1) == 0)
        co_await m_belowNews;
    co_return !deadline.over() && m_below->waiting().value_or(0) > 0;
}

bool Rfc2217Layer::failNegotiating(const Deadline& deadline)
{
    if (deadline.givenUp())
        return fail(PortError::Kind::GivenUp, openingGivenUp(m_where));
    if (!m_below->isOpen()) {
        const PortError below = m_below->failure();
        // The layer below knows better why, a TLS layer for one.
        if (below.kind != PortError::Kind::Lost)
            return fail(below.kind, below.message);
        return fail(PortError::Kind::ClosedByServer,
                    QStringLiteral("%1 closed the connection at once.").arg(m_where));
    }
    return fail(PortError::Kind::TimedOut,
                QStringLiteral("%1 did not take up RFC 2217 within %2 seconds; for a raw TCP "
                               "port use tcp://.")
                    .arg(m_where)
                    .arg(deadline.limitMs() / 1000));
}

bool Rfc2217Layer::fail(PortError::Kind kind, const QString& message)
{
    m_error = PortError{kind, m_where, message};
    m_telnet.reset();
    m_below->close();
    return false;
}

void Rfc2217Layer::close()
{
    m_telnet.reset();
    m_received.clear();
    m_belowNews.wake();
    m_below->close();
}

PortError Rfc2217Layer::failure() const
{
    return m_error.isError() ? m_error : m_below->failure();
}

bool Rfc2217Layer::write(const QByteArray& bytes)
{
    return isOpen() && m_below->write(TelnetCodec::escape(bytes));
}

std::optional<int> Rfc2217Layer::waiting()
{
    if (!isOpen())
        return std::nullopt;
    pull();
    return static_cast<int>(m_received.size());
}

std::optional<QByteArray> Rfc2217Layer::take(int most)
{
    if (!isOpen())
        return std::nullopt;
    pull();
    const qsizetype wanted = std::clamp<qsizetype>(most, 0, m_received.size());
    const QByteArray taken = m_received.left(wanted);
    m_received.remove(0, wanted);
    return taken;
}

// A server that sends without pause cannot keep this loop going: it decodes
// at most discardRounds receive buffers.
void Rfc2217Layer::discard()
{
    if (!isOpen())
        return;
    for (int round = 0; round < discardRounds; ++round) {
        m_received.clear();
        pull();
        if (m_received.isEmpty())
            break;
    }
    m_received.clear();
    m_below->write(TelnetCodec::purgeReceivedData());
}

// Takes what the layer below holds, up to the receive buffer's room: the
// telnet sequences go, and the answers they call for are sent; answers the
// layer below has no room for are dropped.
void Rfc2217Layer::pull()
{
    while (m_telnet && m_received.size() < receiveBufferSize) {
        const std::optional<QByteArray> chunk =
            m_below->take(static_cast<int>(receiveBufferSize - m_received.size()));
        if (!chunk || chunk->isEmpty())
            return;
        const TelnetCodec::Decoded decoded = m_telnet->decode(*chunk);
        m_received += decoded.data;
        if (!decoded.replies.isEmpty())
            m_below->write(decoded.replies);
    }
}

} // namespace qm240lx
