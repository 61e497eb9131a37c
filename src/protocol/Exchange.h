#pragma once

#include "async/Alarm.h"
#include "async/Task.h"
#include "async/Tick.h"
#include "link/Port.h"

#include <coroutine>
#include <cstdint>
#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

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
    KeepsSending, // the line never fell quiet: nothing was written
    PortFailed,   // the port is closed, lost or failing
    Aborted,      // the program is closing
};

// How the wait for a quiet line before a command ended.
enum class LineQuiet
{
    Quiet,        // nothing arrived for the port's quiet gap; the input is empty
    KeepsSending, // bytes kept coming until the command's limit
    PortFailed,
    Aborted,
};

// What a command that could not write ended as: for a quiet line, the port
// failing (as a write to it would).
Answer answerBefore(LineQuiet quiet);

// The protocol has no sequence numbers: a reply that comes after its command
// gave up looks like the answer to whatever command is under way then. After
// a wait that ran out, the next command therefore waits until this long after
// the unanswered command was sent, dropping what arrives, before it writes.
inline constexpr Tick lateReplyHorizonMs = 4000;

// The one exchange pattern every command with the adapter follows: drop stale
// input, write one-byte commands, wait for the reply against a limit, read the
// reply. A wait suspends the command until the port has news, the limit comes
// or the exchange is aborted; meanwhile the thread's event loop runs on.
class Exchange
{
public:
    // `portName` ("COM3", or a path) names the port in the texts.
    Exchange(Port& port, QString portName, Alarm& alarm, TickSource tick);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    Port& port() { return *m_port; }
    const Port& port() const { return *m_port; }
    const QString& portName() const { return m_portName; }

    // Goes on with another port, the one before closed by now and perhaps
    // gone with its news handler: it is not touched again.
    void usePort(Port& port, QString portName);

    // True while a command is under way; nothing else may start one meanwhile.
    bool busy() const { return m_commandDepth > 0; }

    // Ends the running wait at its next pass, from the event loop's next turn,
    // and an opening under way at once; every later wait ends at once.
    void abort();
    bool aborted() const { return m_aborted; }

    // Opens or closes the port. Either starts a new port session: a reply
    // owed to a command of the one before is no longer waited out.
    Task<bool> openPort();
    void closePort();

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

    // Waits until nothing has arrived for the port's quiet gap, dropping what
    // comes, so that no byte already on its way is taken as this command's
    // reply; ends with the input empty. After a wait that ran out, it first
    // lets the missed reply arrive (see lateReplyHorizonMs). Gives up with
    // KeepsSending once the line has not fallen quiet within `limitMs`.
    Task<LineQuiet> quietLine(Tick limitMs);

    // After a reply: true when more bytes are waiting, or arrive within the
    // port's quiet gap. Such a reply may not be the answer it looks like.
    Task<bool> moreFollows();

    // Waits more than `ms` milliseconds, whatever arrives meanwhile.
    Task<> settle(Tick ms);

    // Writes one byte; false when the port is not open, the write fails or
    // the program is closing.
    bool writeByte(std::uint8_t byte);

    // Sets the reply's length and waits until `count` bytes are waiting or more
    // than `limitMs` have passed. Every pass calls `eachPass`, tests the time,
    // suspends until news, the limit or an abort, then counts the waiting
    // bytes; so the first pass always runs, even when the reply is already
    // there, and a pass that finds it there does not suspend.
    Task<WaitEnd> waitForReply(int count, Tick limitMs, std::function<void()> eachPass = {});

    // Takes up to the reply's length; nullopt when the port fails.
    std::optional<QByteArray> readReply();

    // Waits for a one-byte answer and judges its first byte.
    Task<Answer> awaitAnswer(Tick limitMs, std::function<void()> eachPass);

private:
    class Suspension;
    // Suspends until `count` bytes are waiting (none: only time counts), the
    // port fails, `ms` have passed or the exchange is aborted.
    Suspension nextPass(Tick ms, int count);
    bool enoughWaiting(int count);
    void onNews();
    void resume();
    Task<> waitOutLateReply();

    Port* m_port;
    QString m_portName;
    Alarm& m_alarm;
    TickSource m_tick;
    std::coroutine_handle<> m_suspended;
    int m_awaitedCount = 0;
    int m_replyLength = 1;
    int m_commandDepth = 0;
    bool m_aborted = false;
    bool m_opening = false;
    // When the last wait that ran out began, until the next command has
    // waited out a late reply to it or the port session ends.
    std::optional<Tick> m_unansweredSince;
};

} // namespace qm240lx
