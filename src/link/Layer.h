#pragma once

#include "async/Deadline.h"
#include "async/Task.h"
#include "failure/PortError.h"

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

namespace qm240lx {

// One layer of a port's stack: a transport at the bottom (a serial device, a
// TCP connection) or a filter over the layer below it (TLS, the RFC 2217
// telnet layer). A filter opens the layer below before itself, within the
// same deadline, and hears of the layer below through its news handler.
class Layer
{
public:
    virtual ~Layer() = default;

    virtual Task<bool> open(Deadline& deadline) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Every layer is open: what is written from now on is the exchange's.
    virtual void beginExchange() {}

    // All or nothing: false when the layer is not open, or when it holds
    // more unsent bytes than it allows.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual std::optional<int> waiting() = 0;
    virtual std::optional<QByteArray> take(int most) = 0;
    // Drops the data waiting, a bounded amount of it when the far end keeps
    // sending.
    virtual void discard() = 0;

    // The silence after which no more bytes of the far end are on their way:
    // the transport's; a filter takes its own from the layer below.
    virtual Tick quietGapMs() const = 0;

    // Called when bytes have arrived or the layer has failed, possibly from
    // inside a signal of the layer's own socket.
    virtual void setNewsHandler(std::function<void()> handler) = 0;

    // This layer's failure, or the one below it that made it fail.
    virtual PortError failure() const = 0;
};

// What an opening says once its stack gave it up, by a close meanwhile.
inline QString openingGivenUp(const QString& where)
{
    return QStringLiteral("The opening of %1 was given up.").arg(where);
}

} // namespace qm240lx
