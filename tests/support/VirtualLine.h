#pragma once

#include "async/Alarm.h"
#include "async/Tick.h"
#include "link/Port.h"
#include "link/PortSource.h"
#include "support/Bytes.h"
#include "support/FarEnd.h"
#include "support/WireCheck.h"

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include <QByteArray>

namespace qm240lx::test {

// A serial line, its alarm and its clock in one, and the port of every COM
// number, for tests: the host's bytes
// go to a FarEnd, whose answers arrive once the clock reaches their time.
// run() resumes a suspended command at the next arrival or when its alarm
// rings (or after a fixed step), so a session of many commands runs in
// microseconds. Every byte each way is logged in the order it crossed the
// line.
class VirtualLine : public Port, public Alarm, public PortSource
{
public:
    // Thrown from a wait that has run more passes than any wait can need.
    struct EndlessWait : std::runtime_error
    {
        EndlessWait() : std::runtime_error("a wait did not end") {}
    };
    static constexpr int passLimit = 20'000;

    explicit VirtualLine(Tick start = 0, FarEnd* farEnd = nullptr);

    // The clock.
    Tick now() const { return m_now; }
    Tick elapsed() const { return elapsedMs(m_now, m_start); }
    TickSource tick()
    {
        return [this] { return m_now; };
    }
    // Lets `ms` pass between commands; what falls due arrives.
    void idle(Tick ms);

    // Resumes the suspended command, pass after pass, until none waits.
    void run();
    // Runs `task` to its end and gives its result.
    template <typename T> T run(Task<T> task)
    {
        run();
        if (!task.done())
            throw EndlessWait();
        return task.result();
    }
    // Opens the port at once, as every opening of this line does.
    bool openNow();

    // The far end's side, for the FarEnd and for tests.
    void arrive(const QByteArray& bytes);
    void arriveAfter(Tick ms, const QByteArray& bytes)
    {
        m_pending.push_back({elapsed() + ms, bytes});
    }
    void loseAfter(Tick ms) { m_pending.push_back({elapsed() + ms, {}, true}); }
    void lose(const QString& why);
    void failOpening(int port, PortError error) { m_openFailures.insert_or_assign(port, error); }

    // The waits: a fixed step per pass instead of sleeping, and a hook that
    // runs in each wake-up as a user's action would. Passes count from the
    // setting of the hook; `pass` is 1 in the first.
    void setStep(std::optional<Tick> ms) { m_step = ms; }
    void setHook(std::function<void(int pass)> hook)
    {
        m_hook = std::move(hook);
        m_passes = 0;
    }
    int passes() const { return m_passes; }

    // What crossed the line.
    const std::vector<WireEvent>& events() const { return m_events; }
    QByteArray written() const;
    int bytesWritten() const { return m_bytesWritten; }
    int openCount() const { return m_openCount; }

    // The COM number chosen last, and the device it stands for.
    int comNumber() const { return m_port; }
    QString deviceName() const { return QStringLiteral("/dev/virtual%1").arg(m_port); }

    // PortSource: every COM number's port is this line.
    Port& portFor(int com) override
    {
        m_port = com;
        return *this;
    }

    // Port
    Task<bool> open() override;
    Task<> close() override
    {
        m_open = false;
        co_return;
    }
    bool isOpen() const override { return m_open; }
    // Wake-ups come from run(): it resumes the command at each arrival.
    void setNewsHandler(std::function<void()>) override {}
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override;
    std::optional<QByteArray> take(int most) override;
    void discard() override { m_inbox.clear(); }
    PortError failure() const override { return m_error; }

    // Alarm
    void set(Tick ms, std::function<void()> ring) override;
    void cancel() override { m_ring = {}; }
    bool alarmSet() const { return bool(m_ring); }

private:
    struct Delivery
    {
        Tick due; // elapsed since the start, so the tick's wrap does not matter
        QByteArray bytes;
        bool losesPort = false;
    };

    Tick toNextDelivery(Tick longest) const;
    void countPass();
    void advance(Tick ms);

    FarEnd* m_farEnd;
    Tick m_start;
    Tick m_now;
    int m_port = 1;
    bool m_open = false;
    int m_openCount = 0;
    QByteArray m_inbox;
    std::vector<Delivery> m_pending;
    std::map<int, PortError> m_openFailures; // by port
    PortError m_error;
    std::function<void()> m_ring;
    Tick m_ringsAt = 0; // elapsed since the start
    std::optional<Tick> m_step;
    std::function<void(int)> m_hook;
    int m_passes = 0;
    int m_passesThisWait = 0;
    int m_bytesWritten = 0;
    std::vector<WireEvent> m_events;
};

} // namespace qm240lx::test
