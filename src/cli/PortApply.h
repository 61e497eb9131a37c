#pragma once

#include "cli/CliExit.h"
#include "cli/TraceLog.h"
#include "link/PortChoice.h"
#include "settings/FieldChanges.h"

#include <functional>
#include <memory>
#include <optional>

#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

namespace qm240lx {

class CliCommands;
class Exchange;

// One port's part in an apply: a session of its own, run on a thread of its
// own, so that the engine's exchange (a blocking wait) runs unchanged, with
// every rule set follows, beside the other ports'. The thread sleeps in its
// event loop whenever its adapter has nothing to say.
class PortApply
{
public:
    struct Task
    {
        FieldChanges changes;
        bool save = false;
        bool check = false; // read and compare only
    };

    enum class Result
    {
        Configured,
        Matches, // check
        Differs, // check
        Failed,
    };

    struct Outcome
    {
        PortChoice port;
        QString device;
        QString description; // "COM3 (/dev/ttyUSB2)"
        Result result = Result::Failed;
        CliExit failure;    // when failed
        QJsonArray changed; // "h_byte", ...
        bool saved = false;
        QStringList differences; // check: "baud 9600, profile 57600"
    };

    // With a `trace`, the port's bytes and texts go to a copy of it.
    PortApply(const PortChoice& port, const Task& task, const TraceLog* trace);
    // Waits for the thread to end.
    ~PortApply();
    PortApply(const PortApply&) = delete;
    PortApply& operator=(const PortApply&) = delete;

    // Starts the thread; `finished` runs on the calling thread's event loop
    // once the outcome is there.
    void start(const std::function<void()>& finished);

    // Ends the port's command at its next pass, sending nothing more.
    void stop();

    // Once finished.
    const Outcome& outcome() const { return m_outcome; }

private:
    void run();
    void configure(CliCommands& commands);
    void compare(CliCommands& commands);
    void fail(const CliExit& failure);

    Task m_task;
    std::optional<TraceLog> m_trace;
    Outcome m_outcome;
    std::unique_ptr<QThread> m_thread;
    QObject m_finishing; // on the starting thread
    QObject m_inThread;  // on the port's thread
    // Touched only on the port's thread.
    Exchange* m_exchange = nullptr;
    bool m_stopped = false;
};

} // namespace qm240lx
