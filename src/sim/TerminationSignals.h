#pragma once

#include "sim/UniqueFd.h"

#include <optional>

#include <QObject>
#include <QSocketNotifier>

namespace qm240lx::sim {

// SIGTERM and SIGINT delivered as a Qt signal on the event loop, so the
// program can tidy up before it ends.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    // Holds SIGTERM and SIGINT back from their default action. Call it first
    // thing in main, before any thread starts, so every thread inherits it.
    static void block();

    explicit TerminationSignals(QObject* parent = nullptr);

    bool isWatching() const { return m_notifier.has_value(); }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPending();

    UniqueFd m_fd;
    std::optional<QSocketNotifier> m_notifier;
};

} // namespace qm240lx::sim
