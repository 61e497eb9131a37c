#pragma once

#include "async/Task.h"
#include "async/Tick.h"
#include "failure/PortError.h"

#include <functional>
#include <optional>

#include <QByteArray>

namespace qm240lx {

// How long the line must stay silent before the adapter counts as quiet: 3.5
// character times, the frame gap of Modbus RTU, is 3.65 ms at 9600 8N1. Tick
// readings are whole milliseconds, so 5 ms between two readings means more
// than 4 ms.
inline constexpr Tick serialQuietGapMs = 5;

// A port to the adapter, however it is reached: bytes go out as they are
// written and come in whenever the far end sends them. Nothing here blocks:
// an opening that has to wait for a network suspends its caller, and bytes
// that arrive are announced to the news handler. The port knows nothing of
// COM numbers; which device or address it opens was settled when it was made.
class Port
{
public:
    virtual ~Port() = default;

    // Ends true once the port is open; false when it cannot be opened,
    // failure() telling why.
    virtual Task<bool> open() = 0;
    // Closing a closed port is no error; an opening under way ends as failed.
    virtual Task<> close() = 0;
    // True while the port is open and has not failed.
    virtual bool isOpen() const = 0;

    // Hands the bytes to the port in order; does not wait for a reply.
    virtual bool write(const QByteArray& bytes) = 0;
    // How many received bytes wait; nullopt when the port is closed or failed.
    virtual std::optional<int> waiting() = 0;
    // Up to `most` received bytes, oldest first; nullopt when the port is
    // closed or failed.
    virtual std::optional<QByteArray> take(int most) = 0;
    // Drops every byte received so far.
    virtual void discard() = 0;

    // The silence after which no more bytes of the adapter are on their way.
    virtual Tick quietGapMs() const { return serialQuietGapMs; }

    // Called from the event loop, never from inside a call of the port, when
    // bytes have arrived or the open port has failed.
    virtual void setNewsHandler(std::function<void()> handler) = 0;

    // Why the last opening failed, or why the open port was lost.
    virtual PortError failure() const = 0;
};

} // namespace qm240lx
