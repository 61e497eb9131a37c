#pragma once

#include "sim/Adapter.h"
#include "sim/FlashFile.h"
#include "sim/PtyPort.h"
#include "sim/Trace.h"

#include <deque>
#include <optional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace qm240lx::sim {

// Connects the adapter to its pseudo-terminal: bytes from the host go to the
// adapter as they arrive, its replies go back when they are due, and a save
// reaches the flash file. Driven by the event loop alone.
class Emulator : public QObject
{
    Q_OBJECT

public:
    Emulator(PtyPort port, Adapter adapter, std::optional<FlashFile> flashFile, Trace trace,
             QObject* parent = nullptr);

Q_SIGNALS:
    // The cable was pulled: the host saw a hangup and the device is gone.
    void unplugged();

private:
    Adapter::Millis now() const;
    std::chrono::nanoseconds sinceStart() const;

    void readFromHost();
    void pauseReading();
    void handleByte(std::uint8_t byte);
    void saveFlash();
    void sendDueReplies();
    void scheduleNextReply();
    void flushOutgoing();
    void unplug();

    PtyPort port_;
    Adapter adapter_;
    std::optional<FlashFile> flashFile_;
    Trace trace_;
    QElapsedTimer clock_;
    std::deque<Adapter::Reply> pending_;
    QByteArray outgoing_;
    QTimer replyTimer_;
    QTimer resumeTimer_;
    QSocketNotifier readNotifier_;
    QSocketNotifier writeNotifier_;
};

} // namespace qm240lx::sim
