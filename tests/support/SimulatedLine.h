#pragma once

#include "link/CommControl.h"
#include "link/EventPump.h"
#include "link/Tick.h"
#include "sim/Adapter.h"
#include "support/WireCheck.h"

#include <deque>
#include <stdexcept>
#include <vector>

#include <QByteArray>

namespace qm240lx::test {

// The emulator's adapter on an in-process line with a clock of its own: each
// byte the host writes goes straight into sim::Adapter, and its replies are
// received once the clock reaches their time. A wait sleeps until the next
// reply or the end of its allowed time, as the event loop would, so a session
// of many commands runs in microseconds. Every byte each way is logged in the
// order it happened.
class SimulatedLine : public CommControl, public EventPump
{
public:
    // Thrown from a wait that has run more passes than any wait can need.
    struct EndlessWait : std::runtime_error
    {
        EndlessWait() : std::runtime_error("a wait did not end") {}
    };
    static constexpr int passLimit = 20'000;

    SimulatedLine(sim::Adapter adapter, Tick start);

    TickSource tick()
    {
        return [this] { return m_now; };
    }
    const sim::Adapter& adapter() const { return m_adapter; }
    const std::vector<WireEvent>& events() const { return m_events; }
    int bytesWritten() const { return m_bytesWritten; }
    int flashWrites() const { return m_flashWrites; }

    // Lets `ms` pass between commands; replies falling due are received.
    void idle(Tick ms);

    // CommControl
    void setCommPort(int) override {}
    int commPort() const override { return 1; }
    // The engine never opens or closes the port.
    bool setPortOpen(bool open) override { return open == m_open; }
    bool portOpen() const override { return m_open; }
    bool output(const QByteArray& bytes) override;
    void setInputLen(int length) override { m_inputLen = length; }
    int inputLen() const override { return m_inputLen; }
    std::optional<int> inBufferCount() override;
    std::optional<QByteArray> input() override;
    void discardInput() override { m_inbox.clear(); }
    QString deviceName() const override { return QStringLiteral("/dev/simulated"); }
    PortError lastError() const override { return m_error; }

    // EventPump
    void processEvents(std::uint32_t maxWaitMs) override;
    void pause(std::uint32_t ms) override;

private:
    Tick sinceStart() const { return elapsedMs(m_now, m_start); }
    void receive(std::uint8_t byte);
    void advance(Tick ms);

    sim::Adapter m_adapter;
    Tick m_start;
    Tick m_now;
    bool m_open = true;
    int m_inputLen = 1;
    int m_passes = 0;
    int m_bytesWritten = 0;
    int m_flashWrites = 0;
    QByteArray m_inbox;
    std::deque<sim::Adapter::Reply> m_replies; // in the order they are due
    std::vector<WireEvent> m_events;
    PortError m_error;
};

} // namespace qm240lx::test
