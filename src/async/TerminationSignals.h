#pragma once

#include <array>
#include <csignal>
#include <optional>

#include <QObject>
#include <QSocketNotifier>

namespace qm240lx {

// SIGINT, SIGTERM and SIGHUP turned into an event on the Qt event loop, so
// that a program stopped by one ends its wait and closes its port (which
// removes the port's lock file) instead of dying on the spot. The handler
// only records the signal and writes a byte into a pipe; the pipe's notifier
// also wakes a loop blocked waiting for the adapter.
//
// One instance at a time, made after the application object. Its end gives
// the signals their previous handling back.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when no pipe could be made; the signals then act as before.
    bool isWatching() const { return m_notifier.has_value(); }

    // The first of the signals to arrive, as soon as it has arrived, even
    // before its event has been delivered.
    std::optional<int> received() const;

    // What a shell expects of a program a signal ended: 128 plus its number;
    // `otherwise` when none arrived.
    int exitStatus(int otherwise) const;

    // While it lives, the signals act as they did before the instance was
    // made, which for most is to end the program: for a read that may block
    // on a pipe or a terminal before any port is open, where a caught signal
    // would wait unseen until the input ends.
    class Unwatched
    {
    public:
        explicit Unwatched(const TerminationSignals& signals);
        ~Unwatched();
        Unwatched(const Unwatched&) = delete;
        Unwatched& operator=(const Unwatched&) = delete;

    private:
        const TerminationSignals& m_signals;
        std::array<struct sigaction, 3> m_ours{};
    };

Q_SIGNALS:
    // Emitted from the event loop, once for each signal delivered.
    void caught(int signalNumber);

private:
    void install();
    void readPending();

    std::array<int, 2> m_pipe{-1, -1};
    std::array<struct sigaction, 3> m_previous{};
    std::optional<QSocketNotifier> m_notifier;
};

} // namespace qm240lx
