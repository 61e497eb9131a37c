#pragma once

#include "sim/Adapter.h"
#include "sim/FlashFile.h"
#include "sim/PtyPort.h"
#include "sim/Trace.h"

#include <chrono>
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
    // With `paceBaud`, replies leave one byte per character time (10 bits at
    // that rate), as on a real line; without, at once.
    Emulator(PtyPort port, Adapter adapter, std::optional<FlashFile> flashFile, Trace trace,
             std::optional<int> paceBaud = std::nullopt, QObject* parent = nullptr);

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
    void queueOutgoing(const QByteArray& bytes);
    void releaseCrossedBytes();
    void flushOutgoing();
    void unplug();

    PtyPort m_port;
    Adapter m_adapter;
    std::optional<FlashFile> m_flashFile;
    Trace m_trace;
    QElapsedTimer m_clock;
    std::deque<Adapter::Reply> m_pending;
    QByteArray m_outgoing;
    // Paced: the bytes of m_outgoing that have crossed the line and may be
    // handed to the host, and when each of the others will have.
    qsizetype m_released = 0;
    std::optional<std::chrono::nanoseconds> m_charTime;
    std::deque<std::chrono::nanoseconds> m_crossedAt;
    std::chrono::nanoseconds m_lineFreeAt{0};
    QTimer m_replyTimer;
    QTimer m_paceTimer;
    QTimer m_resumeTimer;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
};

} // namespace qm240lx::sim
