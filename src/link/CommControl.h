#pragma once

#include "link/PortError.h"
#include "link/Task.h"
#include "link/Tick.h"

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

namespace qm240lx {

// How long the line must stay silent before the adapter counts as quiet: 3.5
// character times, the frame gap of Modbus RTU, is 3.65 ms at 9600 8N1. Tick
// readings are whole milliseconds, so 5 ms between two readings means more
// than 4 ms.
inline constexpr Tick serialQuietGapMs = 5;

// The serial control the adapter is reached through. The line settings are
// fixed (9600 baud, 8N1, no flow control, raw bytes); callers choose the port,
// open and close it, write bytes and read what has been received. Nothing
// here blocks: received bytes are announced to the news handler, and an
// opening that has to wait for a network suspends its caller instead.
class CommControl
{
public:
    virtual ~CommControl() = default;

    // CommPort: the COM number (1 to 255) the next opening uses.
    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;

    // PortOpen = True: opens the port CommPort names. The task ends true once
    // the port is open; false when it cannot be opened, lastError() telling why.
    virtual Task<bool> open() = 0;
    // PortOpen = False. Closing a closed port is no error; an opening under
    // way ends as failed.
    virtual void close() = 0;
    virtual bool portOpen() const = 0;

    // Called from the event loop, never from inside another call of this
    // control, when bytes have arrived or the open port has failed.
    virtual void setNewsHandler(std::function<void()> handler) = 0;

    // Output: hands the bytes to the port in order; does not wait for a reply.
    virtual bool output(const QByteArray& bytes) = 0;

    // InputLen: the most bytes one input() takes.
    virtual void setInputLen(int length) = 0;
    virtual int inputLen() const = 0;

    // InBufferCount: received bytes not yet read; nullopt when the port is
    // closed, lost or failing.
    virtual std::optional<int> inBufferCount() = 0;

    // Input: up to InputLen received bytes, oldest first, removed from the
    // receive buffer; nullopt when the port is closed, lost or failing.
    virtual std::optional<QByteArray> input() = 0;

    // Drops every byte received so far, whatever InputLen is.
    virtual void discardInput() = 0;

    // The silence after which no more bytes of the adapter are on their way.
    virtual Tick quietGapMs() const { return serialQuietGapMs; }

    // The device the current COM number stands for, if any.
    virtual QString deviceName() const = 0;

    // Why the last opening failed, or why the open port was lost.
    virtual PortError lastError() const = 0;
};

} // namespace qm240lx
