#pragma once

#include "link/CommControl.h"
#include "link/EventPump.h"
#include "link/Tick.h"

#include <cstdint>
#include <functional>
#include <vector>

#include <QByteArray>

class FuzzedDataProvider;

namespace qm240lx::fuzz {

// The adapter's end of the line and the passing of time, both played from the
// fuzz input. Each command byte written draws its answer (some bytes after
// some delay, or the loss of the port); each pass of a wait draws how far the
// clock moves. Every byte written and delivered is logged in one order, so a
// check can tell what the adapter had sent before a command was judged.
class ScriptedLine : public CommControl, public EventPump
{
public:
    struct Event
    {
        bool fromHost;
        std::uint8_t byte;
    };

    // More passes than this in one run is a wait that does not end.
    static constexpr int passLimit = 60'000;

    ScriptedLine(FuzzedDataProvider& input, Tick start);

    TickSource tick()
    {
        return [this] { return m_now; };
    }
    const std::vector<Event>& events() const { return m_events; }
    int passes() const { return m_passes; }

    // Runs inside every pass of a wait, as the user's actions would.
    void setEachPass(std::function<void()> hook) { m_eachPass = std::move(hook); }

    // Lets time pass between commands, with stray bytes drawn from the input.
    void idle();

    // CommControl; the engine never opens or closes the port.
    void setCommPort(int) override {}
    int commPort() const override { return 1; }
    bool setPortOpen(bool open) override { return open == m_open; }
    bool portOpen() const override { return m_open; }
    bool output(const QByteArray& bytes) override;
    void setInputLen(int length) override { m_inputLen = length; }
    int inputLen() const override { return m_inputLen; }
    std::optional<int> inBufferCount() override;
    std::optional<QByteArray> input() override;
    void discardInput() override { m_inbox.clear(); }
    QString deviceName() const override { return QStringLiteral("/dev/scripted"); }
    PortError lastError() const override { return m_error; }

    // EventPump
    void processEvents(std::uint32_t maxWaitMs) override;
    void pause(std::uint32_t ms) override { advance(ms); }

private:
    struct Delivery
    {
        Tick due; // milliseconds since the start, so the tick's wrap does not matter
        QByteArray bytes;
        bool losesPort = false;
    };

    Tick sinceStart() const { return elapsedMs(m_now, m_start); }
    void scheduleAnswer();
    void advance(Tick ms);

    FuzzedDataProvider& m_input;
    Tick m_start;
    Tick m_now;
    bool m_open = true;
    int m_inputLen = 1;
    bool m_expectValueByte = false;
    int m_passes = 0;
    QByteArray m_inbox;
    std::vector<Delivery> m_deliveries;
    std::vector<Event> m_events;
    std::function<void()> m_eachPass;
    PortError m_error;
};

} // namespace qm240lx::fuzz
