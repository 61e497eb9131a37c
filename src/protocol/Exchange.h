#pragma once

#include "link/CommControl.h"
#include "link/EventPump.h"
#include "link/Tick.h"

#include <cstdint>
#include <functional>
#include <optional>

#include <QByteArray>

namespace qm240lx {

// How a wait for the adapter's reply ended.
enum class WaitEnd
{
    Data,       // the awaited number of bytes is waiting
    Timeout,    // a pass found the limit passed
    PortFailed, // the port is closed, lost or failing
    Aborted,    // the program is closing
};

// How a command answered by one byte went.
enum class Answer
{
    Acknowledged, // the first byte is the adapter's acknowledgement
    Other,        // the first byte is anything else
    Silence,      // nothing within the limit
    PortFailed,   // the port is closed, lost or failing
    Aborted,      // the program is closing
};

// The protocol has no sequence numbers: a reply that comes after its command
// gave up looks like the answer to whatever command is under way then. After
// a wait that ran out, the next command therefore waits until this long after
// the unanswered command was sent, dropping what arrives, before it writes.
inline constexpr Tick lateReplyHorizonMs = 4000;

// The one exchange pattern every command with the adapter follows: drop stale
// input, write one-byte commands, wait for the reply against a limit while the
// rest of the program keeps running, read the reply.
class Exchange
{
public:
    Exchange(CommControl& comm, EventPump& pump, TickSource tick);

    CommControl& comm() { return m_comm; }

    // True while a command is under way; nothing else may start one meanwhile.
    bool busy() const { return m_commandDepth > 0; }

    // Ends the running wait at its next pass; every later wait ends at once.
    void abort() { m_aborted = true; }
    bool aborted() const { return m_aborted; }

    // Marks the exchange busy for the lifetime of the object. Commands nest:
    // a detection runs the read-back inside its own command.
    class Command
    {
    public:
        explicit Command(Exchange& exchange);
        ~Command();
        Command(const Command&) = delete;
        Command& operator=(const Command&) = delete;

    private:
        Exchange& m_exchange;
    };

    // Drops every byte waiting, so that nothing left over from an earlier
    // exchange is taken as this one's reply. After a wait that ran out, it
    // first lets the missed reply arrive (see lateReplyHorizonMs).
    void discardStaleInput();

    // Waits more than `ms` milliseconds without handling events.
    void settle(Tick ms);

    // Writes one byte; false when the port is not open, the write fails or
    // the program is closing.
    bool writeByte(std::uint8_t byte);

    // Sets the read length and waits until `count` bytes are waiting or more
    // than `limitMs` have passed. Every pass calls `eachPass`, tests the time,
    // lets the program handle its events, then counts the waiting bytes; so
    // the first pass always runs, even when the reply is already there.
    WaitEnd waitForReply(int count, Tick limitMs, const std::function<void()>& eachPass = {});

    // Reads up to the read length; nullopt when the port fails.
    std::optional<QByteArray> readReply();

    // Waits for a one-byte answer and judges its first byte.
    Answer awaitAnswer(Tick limitMs, const std::function<void()>& eachPass);

private:
    CommControl& m_comm;
    EventPump& m_pump;
    TickSource m_tick;
    void waitOutLateReply();

    int m_commandDepth = 0;
    bool m_aborted = false;
    // When the last wait that ran out began, until the next command has
    // waited out a late reply to it.
    std::optional<Tick> m_unansweredSince;
};

} // namespace qm240lx
