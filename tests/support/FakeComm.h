#pragma once

#include "link/CommControl.h"
#include "link/Tick.h"

#include <deque>
#include <map>
#include <optional>
#include <vector>

#include <QByteArray>

namespace qm240lx::test {

class FakeClock;

// A scripted serial control. Each opcode written takes the next queued
// answer, delivered after its delay; an empty answer is silence. Value bytes
// after the three upload opcodes take no answer.
class FakeComm : public CommControl
{
public:
    explicit FakeComm(FakeClock& clock);

    // Scripting.
    void answer(QByteArray reply, Tick delayMs = 0) { m_answers.push_back({reply, delayMs}); }
    void answer(std::initializer_list<int> reply, Tick delayMs = 0);
    void receiveNow(QByteArray bytes) { m_inbox += bytes; }
    void receiveAt(Tick when, QByteArray bytes) { deliverAt(when, bytes, false); }
    void failOpening(int port, PortError error) { m_openFailures.try_emplace(port, error); }
    void loseAt(Tick when) { deliverAt(when, {}, true); }

    // Inspection.
    const QByteArray& written() const { return m_written; }
    int openCount() const { return m_openCount; }
    std::optional<Tick> firstWriteTick() const { return m_firstWriteTick; }

    // For the pump: the time of the next delivery, and delivery of what is due.
    std::optional<Tick> nextDelivery() const;
    void deliverDue();

    // CommControl
    void setCommPort(int port) override { m_port = port; }
    int commPort() const override { return m_port; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    bool output(const QByteArray& bytes) override;
    void setInputLen(int length) override { m_inputLen = length; }
    int inputLen() const override { return m_inputLen; }
    std::optional<int> inBufferCount() override;
    std::optional<QByteArray> input() override;
    void discardInput() override { m_inbox.clear(); }
    QString deviceName() const override { return QStringLiteral("/dev/fake%1").arg(m_port); }
    PortError lastError() const override { return m_error; }

private:
    struct Answer
    {
        QByteArray bytes;
        Tick delayMs;
    };
    struct Delivery
    {
        Tick when; // as elapsed from the clock's start, to survive the wrap
        QByteArray bytes;
        bool losesPort = false;
    };

    void deliverAt(Tick when, QByteArray bytes, bool losesPort);
    void onByteWritten(std::uint8_t byte);
    Tick sinceStart() const;

    FakeClock& m_clock;
    Tick m_start;
    int m_port = 1;
    bool m_open = false;
    int m_openCount = 0;
    int m_inputLen = 1;
    bool m_expectValueByte = false;
    QByteArray m_inbox;
    QByteArray m_written;
    std::optional<Tick> m_firstWriteTick;
    std::deque<Answer> m_answers;
    std::vector<Delivery> m_deliveries;
    std::map<int, PortError> m_openFailures; // by port
    PortError m_error;
};

} // namespace qm240lx::test
